! The C entry points through the interface module, with their own
! arguments, in a program that also calls the intrinsic isnan (a GNU
! extension: this program is built without -std).  The C names that a
! twin already uses keep their kova_ prefix.
program c_entries
  use, intrinsic :: iso_c_binding, only: c_ptr, c_f_pointer, c_int8_t, c_null_char, c_associated
  use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_quiet_nan
  use kova, only: kova_gopen, gsetinitialattributes, gresize, kova_newrgbcolor, kova_fillrect, &
                  ggetimage, readimage, c_free, kova_gcloseall
  implicit none
  integer :: win, w, h
  real :: nan
  type(c_ptr) :: img
  integer(c_int8_t), pointer :: bytes(:)

  call gsetinitialattributes(0, 2)
  win = kova_gopen(40, 30)
  call gresize(win, 60, 50)
  call kova_newrgbcolor(win, 255, 0, 0)
  call kova_fillrect(win, -1d0, -1d0, 62d0, 52d0)
  img = ggetimage(win, 0, 0d0, 0d0, 59d0, 49d0, w, h)
  call c_f_pointer(img, bytes, [4 * w * h])
  nan = ieee_value(nan, ieee_quiet_nan)
  write (*, '(a,2(l1,1x),2(i0,1x),l1,1x,l1)') 'isnan ', isnan(nan), isnan(1.5), w, h, &
      iand(int(bytes(4 * w * h - 2)), 255) > 127, c_associated(readimage(name='/nonexistent'//c_null_char))
  call c_free(img)
  call kova_gcloseall()
end program c_entries
