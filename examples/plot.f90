! plot.f90 - the single-window Fortran interface: PLOTS opens window 0,
! WINDOW sets the user coordinates, PLOT moves (3) and draws (2).
program sine
  implicit none
  integer :: i
  real :: x
  call plots()
  call window(0.0, -1.2, 6.3, 1.2)
  call newpen(7)
  call plot(0.0, 0.0, 3)
  do i = 1, 630
     x = i / 100.0
     call plot(x, sin(x), 2)
  end do
  call newpen(2)
  call circ1(3.14, 0.0, 0.5)
  call msleep(3000)
  call gcloseall()
end program sine
