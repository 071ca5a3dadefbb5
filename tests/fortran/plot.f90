! A plotting program of the classic kind: pen and window set through the
! single-window entry points (the first two before any window exists,
! where they must do nothing), then a polyline, a circle, an arc and a
! point, then an image put and a hidden layer.  It says "ready" and waits for a line on standard input, so that
! its window can be read while it is still open.
program plotter
  implicit none
  character(len=8) :: go
  integer :: rgb(6) = (/ 255, 0, 255, 256, 511, 255 /)

  call newpen(2)
  call window(0.0, 0.0, 1.0, 1.0)
  call plots(0, 0, 0)
  call window(0.0, 0.0, 63.9, 39.9)

  call newpen(2)
  call plot(1.0, 1.0, 3)
  call plot(20.0, 1.0, 2)
  call plot(20.0, 10.0, 2)

  call newpen(3)
  call circ1(32.0, 20.0, 5.0)

  call newpen(4)
  call arc(50.0, 30.0, 4.0, 0.0, 90.0, 1)
  call arc(50.0, 10.0, 4.0, 10.0, 350.0, -1)

  call newpen(23)
  call plot(60.0, 5.0, 1)

  ! Two pixels through putimg24 (only the low 8 bits count), and a hidden
  ! layer cleared, which leaves the window alone.
  call putimg24(0, 30.0, 30.0, 2, 1, rgb)
  call layer(0, -1, 1)
  call gclr(0)
  call selwin(0)
  call clsx()
  call layer(0, -1, 0)

  write (*, '(a)') 'ready'
  flush (6)
  read (*, '(a)') go
end program plotter
