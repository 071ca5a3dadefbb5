! Every family of Fortran twins, called through the interface module as a
! Fortran user writes the calls: INTEGER and REAL scalars, REAL arrays,
! NUL-terminated and counted CHARACTER arguments, results in trailing
! arguments.  Window 1 (gopen) gets the twins that take a window number,
! window 0 (plots) the single-window ones.  The results are printed; after
! each window's drawing the program says "ready" and waits for a line, so
! that the window can be read back while it is open.
program families
  use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_quiet_nan
  use kova
  implicit none
  integer :: win, depth, rw, rh, flag, nan_flag, real_flag, status, status2, rest
  real :: nan
  real :: xs(4) = [2.0, 5.0, 8.0, 11.0], ys(4) = [6.0, 9.0, 6.0, 9.0]
  real :: tri_x(3) = [14.0, 18.0, 16.0], tri_y(3) = [6.0, 6.0, 9.5]
  real :: dots(5)
  character(len=16) :: buf
  character(len=8) :: go
  integer :: i

  ! windows, attributes and modes
  call gsetinitialwinname('families'//c_null_char, 'fam'//c_null_char, &
                          'families'//c_null_char, 'Families'//c_null_char)
  call gopen(320, 200, win)
  call winname(win, 'Fortran families'//c_null_char)
  call ggetdisplayinfo(depth, rw, rh)
  call gsetnonflush(1)
  call ggetnonflush(flag)
  call gsetnonflush(0)
  nan = ieee_value(nan, ieee_quiet_nan)
  call kova_isnan(nan, nan_flag)
  call kova_isnan(1.5, real_flag)
  write (*, '(a,i0)') 'window ', win
  write (*, '(a,3(1x,i0))') 'display', depth, rw, rh
  write (*, '(a,i0,1x,i0,1x,i0)') 'nonflush isnan ', flag, nan_flag, real_flag

  ! coordinates: ten pixels per unit, y upward from the bottom row
  call newwindow(win, 0.0, 0.0, 31.9, 19.9)

  ! pen and primitives
  call newcolor(win, 'orange'//c_null_char)
  call fillrect(win, 1.0, 1.0, 4.0, 3.0)
  call newrgbcolor(win, 0, 128, 255)
  call drawrect(win, 6.0, 1.0, 4.0, 3.0)
  call newhsvcolor(win, 120, 255, 200)
  call drawline(win, 11.0, 1.0, 15.0, 4.0)
  call newpencolor(win, 5)
  call newlinewidth(win, 3)
  call drawlines(win, xs, ys, 4)
  call newlinewidth(win, 1)
  call newlinestyle(win, 1)
  call drawpoly(win, tri_x, tri_y, 3)
  call newlinestyle(win, 0)
  call newpencolor(win, 7)
  call fillpoly(win, tri_x + 5.0, tri_y, 3, 1)
  dots = [(20.0 + i, i = 1, 5)]
  call drawpts(win, dots, dots - 19.0, 5)
  call pset(win, 27.0, 1.0)
  call moveto(win, 28.0, 1.0)
  call lineto(win, 30.0, 3.0)
  call line(win, 30.0, 5.0, 2)
  call line(win, 29.0, 5.0, 1)

  ! arcs and circles
  call newpencolor(win, 2)
  call drawarc(win, 3.0, 13.0, 2.0, 1.5, 0.0, 270.0, 1)
  call fillarc(win, 8.0, 13.0, 2.0, 2.0, 10.0, 350.0, -1)
  call drawcirc(win, 13.0, 13.0, 2.0, 1.0)
  call fillcirc(win, 18.0, 13.0, 1.5, 1.5)

  ! symbols and arrows
  call newpencolor(win, 3)
  call drawsym(win, 22.0, 13.0, 12.7, 3)
  call drawsyms(win, xs + 20.0, ys + 6.0, 3, 9.0, 8)
  call drawarrow(win, 1.0, 17.0, 10.0, 17.0, 10.0, 6.0, 12)

  ! text and numbers
  call newpencolor(win, 1)
  call drawstr(win, 12.0, 17.0, 12.0, 'Fortran text', 0.0, 7)
  call drawnum(win, 20.0, 17.0, 14.0, 3.14159, 0.0, 2)
  call newfontset(win, '-*-fixed-medium-r-normal--14-*'//c_null_char, status)
  call gsetfontset(win, 'no-such-font-at-all'//c_null_char, status2)
  call drawstr(win, 25.0, 19.0, 0.0, 'set'//c_null_char, 0.0, -1)
  call rtoc(2.71828, 3, 16, buf, rest)
  write (*, '(a,i0,1x,i0)') 'fontsets ', status, status2
  write (*, '(a,a,a,i0)') 'rtoc ', buf(1:index(buf, c_null_char) - 1), ' ', rest
  call gflush()
  call gsetnonblock(0)
  call msleep(1)

  write (*, '(a)') 'ready'
  flush (6)
  read (*, '(a)') go
  call gclose(win)

  ! the single-window entry points on window 0
  call plots()
  call vport(0.0, 1.0, 0.0, 1.0)
  call setal(1)
  call window(0.0, 0.0, 63.9, 39.9)
  call newpen(4)
  call plot(2.0, 2.0, 3)
  call plot(20.0, 2.0, 2)
  call plot(20.0, 15.0, 2)
  call plot(25.0, 15.0, 1)
  call circ1(32.0, 20.0, 5.0)
  call arc(50.0, 30.0, 4.0, 0.0, 90.0, 1)
  call newpen(6)
  call arohd(5.0, 35.0, 30.0, 30.0, 0.1, 0.06, 111)
  call number(40.0, 5.0, 12.0, 1234.0, 0.0, -2)
  call symbol(45.0, 12.0, 12.0, 'symbol text', 0.0, 6)
  call symbol(60.0, 10.0, 10.0, 4, 0.0, -1)

  write (*, '(a)') 'ready'
  flush (6)
  read (*, '(a)') go
  call gcloseall()
end program families
