! The Fortran twin of check.c, checked by the interface module: a 64 x 48
! window at the top-left corner, its left half green, then "ready" and a
! line read from standard input.
program check
  use kova
  implicit none
  integer :: win
  character(len=8) :: go

  call gopen(64, 48, win)
  call newrgbcolor(win, 0, 255, 0)
  call fillrect(win, 0.0, 0.0, 32.0, 48.0)
  write (*, '(a)') 'ready'
  flush (6)
  read (*, '(a)') go
  call gcloseall()
end program check
