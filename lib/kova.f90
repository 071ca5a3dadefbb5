! kova.f90 - the Fortran interface module of kova: `use kova` gives every
! Fortran-callable entry point an explicit interface, so that the compiler
! checks the number, order, type and kind of the arguments of every call
! (gfortran 10 and later need no -fallow-argument-mismatch then).  The
! module holds interfaces only: no code, no data, nothing to link but
! -lkova.
!
! Conventions of the twins: every argument by reference; INTEGER is
! integer(c_int), REAL is real(c_float) (widened to double by the library);
! REAL arrays are passed as the Fortran user declares them, x(n); strings
! are read up to a NUL byte, so pass 'red'//c_null_char (no hidden length
! is passed or read), except drawstr, symbol and gettextextent, whose count
! nchar gives the length (negative: up to the NUL).  Results come back through the
! trailing INTEGER or REAL arguments marked intent(out).
!
! A few twins take arguments that are not fixed:
! - plots, vport and setal ignore their arguments: each accepts up to four
!   optional scalars of any type (plots(), plots(0, 0, 0) ...);
! - symbol draws text when nchar >= 0 and, when nchar is negative, reads
!   its fourth argument as an INTEGER marker code: the generic symbol
!   accepts a CHARACTER text or an INTEGER code there.
!
! How this module was checked:
! - tests/fortran_interfaces.sh has gfortran turn these interfaces into C
!   prototypes (-fc-prototypes) and compares them, argument by argument,
!   with the definitions of the twins in the library's sources: a twin the
!   library defines but this module lacks, or whose argument types differ,
!   fails the test;
! - tests/fortran/families.f90 calls the twins through this module,
!   compiled with -std=f2018 -Wall -Werror and without
!   -fallow-argument-mismatch; test_fortran_families reads its windows back
!   pixel by pixel against the same drawing made with the C entry points.
module kova
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_ptr, c_null_char
  implicit none
  private :: c_int, c_float, c_double, c_char, c_ptr

  ! ---- utilities, windows, attributes, modes -------------------------------
  interface
    subroutine msleep(ms) bind(C, name="msleep_")
      import :: c_int
      integer(c_int), intent(in) :: ms
    end subroutine msleep

    subroutine gopen(width, height, wn) bind(C, name="gopen_")
      import :: c_int
      integer(c_int), intent(in) :: width, height
      integer(c_int), intent(out) :: wn
    end subroutine gopen

    subroutine plots(a, b, c, d) bind(C, name="plots_")
      type(*), intent(in), optional :: a, b, c, d
    end subroutine plots

    subroutine gclose(wn) bind(C, name="gclose_")
      import :: c_int
      integer(c_int), intent(in) :: wn
    end subroutine gclose

    subroutine gcloseall() bind(C, name="gcloseall_")
    end subroutine gcloseall

    ! isnan_ as kova_isnan: the module leaves the intrinsic isnan visible.
    subroutine kova_isnan(x, result) bind(C, name="isnan_")
      import :: c_int, c_float
      real(c_float), intent(in) :: x
      integer(c_int), intent(out) :: result
    end subroutine kova_isnan

    subroutine gsetbgcolor(wn, colour) bind(C, name="gsetbgcolor_")
      import :: c_int, c_char
      integer(c_int), intent(in) :: wn
      character(kind=c_char), intent(in) :: colour(*)
    end subroutine gsetbgcolor

    subroutine gsetinitialwinname(storename, iconname, resname, resclass) &
        bind(C, name="gsetinitialwinname_")
      import :: c_char
      character(kind=c_char), intent(in) :: storename(*), iconname(*), resname(*), resclass(*)
    end subroutine gsetinitialwinname

    subroutine winname(wn, name) bind(C, name="winname_")
      import :: c_int, c_char
      integer(c_int), intent(in) :: wn
      character(kind=c_char), intent(in) :: name(*)
    end subroutine winname

    subroutine ggetdisplayinfo(depth, root_width, root_height) bind(C, name="ggetdisplayinfo_")
      import :: c_int
      integer(c_int), intent(out) :: depth, root_width, root_height
    end subroutine ggetdisplayinfo

    subroutine gsetnonflush(flag) bind(C, name="gsetnonflush_")
      import :: c_int
      integer(c_int), intent(in) :: flag
    end subroutine gsetnonflush

    subroutine ggetnonflush(result) bind(C, name="ggetnonflush_")
      import :: c_int
      integer(c_int), intent(out) :: result
    end subroutine ggetnonflush

    subroutine gflush() bind(C, name="gflush_")
    end subroutine gflush

    subroutine gsetnonblock(flag) bind(C, name="gsetnonblock_")
      import :: c_int
      integer(c_int), intent(in) :: flag
    end subroutine gsetnonblock
  end interface

  ! ---- coordinates -----------------------------------------------------------
  interface
    subroutine newwindow(wn, xs, ys, xe, ye) bind(C, name="newwindow_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xs, ys, xe, ye
    end subroutine newwindow

    subroutine window(xs, ys, xe, ye) bind(C, name="window_")
      import :: c_float
      real(c_float), intent(in) :: xs, ys, xe, ye
    end subroutine window

    subroutine newcoordinate(wn, xw, yw, xcen, ycen, xs, ys) bind(C, name="newcoordinate_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn, xw, yw
      real(c_float), intent(in) :: xcen, ycen, xs, ys
    end subroutine newcoordinate

    subroutine vport(a, b, c, d) bind(C, name="vport_")
      type(*), intent(in), optional :: a, b, c, d
    end subroutine vport

    subroutine setal(a, b, c, d) bind(C, name="setal_")
      type(*), intent(in), optional :: a, b, c, d
    end subroutine setal
  end interface

  ! ---- pen ---------------------------------------------------------------------
  interface
    subroutine newcolor(wn, name) bind(C, name="newcolor_")
      import :: c_int, c_char
      integer(c_int), intent(in) :: wn
      character(kind=c_char), intent(in) :: name(*)
    end subroutine newcolor

    subroutine newrgbcolor(wn, r, g, b) bind(C, name="newrgbcolor_")
      import :: c_int
      integer(c_int), intent(in) :: wn, r, g, b
    end subroutine newrgbcolor

    subroutine newhsvcolor(wn, h, s, v) bind(C, name="newhsvcolor_")
      import :: c_int
      integer(c_int), intent(in) :: wn, h, s, v
    end subroutine newhsvcolor

    subroutine newpen(n) bind(C, name="newpen_")
      import :: c_int
      integer(c_int), intent(in) :: n
    end subroutine newpen

    subroutine newpencolor(wn, n) bind(C, name="newpencolor_")
      import :: c_int
      integer(c_int), intent(in) :: wn, n
    end subroutine newpencolor

    subroutine newlinewidth(wn, width) bind(C, name="newlinewidth_")
      import :: c_int
      integer(c_int), intent(in) :: wn, width
    end subroutine newlinewidth

    subroutine newlinestyle(wn, style) bind(C, name="newlinestyle_")
      import :: c_int
      integer(c_int), intent(in) :: wn, style
    end subroutine newlinestyle
  end interface

  ! ---- primitives ----------------------------------------------------------
  interface
    subroutine pset(wn, x, y) bind(C, name="pset_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y
    end subroutine pset

    subroutine drawline(wn, x0, y0, x1, y1) bind(C, name="drawline_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x0, y0, x1, y1
    end subroutine drawline

    subroutine line(wn, x, y, mode) bind(C, name="line_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y
      integer(c_int), intent(in) :: mode
    end subroutine line

    subroutine moveto(wn, x, y) bind(C, name="moveto_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y
    end subroutine moveto

    subroutine lineto(wn, x, y) bind(C, name="lineto_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y
    end subroutine lineto

    subroutine plot(x, y, mode) bind(C, name="plot_")
      import :: c_int, c_float
      real(c_float), intent(in) :: x, y
      integer(c_int), intent(in) :: mode
    end subroutine plot

    subroutine drawpts(wn, x, y, n) bind(C, name="drawpts_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), intent(in) :: n
    end subroutine drawpts

    subroutine drawlines(wn, x, y, n) bind(C, name="drawlines_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), intent(in) :: n
    end subroutine drawlines

    subroutine drawpoly(wn, x, y, n) bind(C, name="drawpoly_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), intent(in) :: n
    end subroutine drawpoly

    subroutine fillpoly(wn, x, y, n, shape) bind(C, name="fillpoly_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), intent(in) :: n, shape
    end subroutine fillpoly

    subroutine drawrect(wn, x, y, w, h) bind(C, name="drawrect_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y, w, h
    end subroutine drawrect

    subroutine fillrect(wn, x, y, w, h) bind(C, name="fillrect_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y, w, h
    end subroutine fillrect
  end interface

  ! ---- arcs and circles ------------------------------------------------------
  interface
    subroutine drawarc(wn, xcen, ycen, xrad, yrad, sang, eang, idir) bind(C, name="drawarc_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xcen, ycen, xrad, yrad, sang, eang
      integer(c_int), intent(in) :: idir
    end subroutine drawarc

    subroutine fillarc(wn, xcen, ycen, xrad, yrad, sang, eang, idir) bind(C, name="fillarc_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xcen, ycen, xrad, yrad, sang, eang
      integer(c_int), intent(in) :: idir
    end subroutine fillarc

    subroutine drawcirc(wn, xcen, ycen, xrad, yrad) bind(C, name="drawcirc_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xcen, ycen, xrad, yrad
    end subroutine drawcirc

    subroutine fillcirc(wn, xcen, ycen, xrad, yrad) bind(C, name="fillcirc_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xcen, ycen, xrad, yrad
    end subroutine fillcirc

    subroutine circ1(xcen, ycen, r) bind(C, name="circ1_")
      import :: c_float
      real(c_float), intent(in) :: xcen, ycen, r
    end subroutine circ1

    subroutine arc(xcen, ycen, r, sang, eang, idir) bind(C, name="arc_")
      import :: c_int, c_float
      real(c_float), intent(in) :: xcen, ycen, r, sang, eang
      integer(c_int), intent(in) :: idir
    end subroutine arc
  end interface

  ! ---- symbols and arrows ------------------------------------------------------
  interface
    subroutine drawsym(wn, x, y, size, type) bind(C, name="drawsym_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y, size
      integer(c_int), intent(in) :: type
    end subroutine drawsym

    subroutine drawsyms(wn, x, y, n, size, type) bind(C, name="drawsyms_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), intent(in) :: n
      real(c_float), intent(in) :: size
      integer(c_int), intent(in) :: type
    end subroutine drawsyms

    subroutine drawarrow(wn, xs, ys, xt, yt, s, w, shape) bind(C, name="drawarrow_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: xs, ys, xt, yt, s, w
      integer(c_int), intent(in) :: shape
    end subroutine drawarrow

    subroutine arohd(xs, ys, xt, yt, s, w, shape) bind(C, name="arohd_")
      import :: c_int, c_float
      real(c_float), intent(in) :: xs, ys, xt, yt, s, w
      integer(c_int), intent(in) :: shape
    end subroutine arohd
  end interface

  ! ---- text and numbers --------------------------------------------------------
  interface
    subroutine drawstr(wn, x, y, size, text, theta, nchar) bind(C, name="drawstr_")
      import :: c_int, c_float, c_char
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y, size
      character(kind=c_char), intent(in) :: text(*)
      real(c_float), intent(in) :: theta
      integer(c_int), intent(in) :: nchar
    end subroutine drawstr

    subroutine drawnum(wn, x, y, size, value, theta, ndec) bind(C, name="drawnum_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y, size, value, theta
      integer(c_int), intent(in) :: ndec
    end subroutine drawnum

    subroutine number(x, y, size, value, theta, ndec) bind(C, name="number_")
      import :: c_int, c_float
      real(c_float), intent(in) :: x, y, size, value, theta
      integer(c_int), intent(in) :: ndec
    end subroutine number

    subroutine gettextextent(wn, size, text, nchar, width, height) &
        bind(C, name="gettextextent_")
      import :: c_int, c_float, c_char
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: size
      character(kind=c_char), intent(in) :: text(*)
      integer(c_int), intent(in) :: nchar
      real(c_float), intent(out) :: width, height
    end subroutine gettextextent

    subroutine rtoc(value, ndec, bufsize, buf, rest) bind(C, name="rtoc_")
      import :: c_int, c_float, c_char
      real(c_float), intent(in) :: value
      integer(c_int), intent(in) :: ndec, bufsize
      character(kind=c_char), intent(out) :: buf(*)
      integer(c_int), intent(out) :: rest
    end subroutine rtoc

    subroutine newfontset(wn, names, status) bind(C, name="newfontset_")
      import :: c_int, c_char
      integer(c_int), intent(in) :: wn
      character(kind=c_char), intent(in) :: names(*)
      integer(c_int), intent(out) :: status
    end subroutine newfontset

    subroutine gsetfontset(wn, names, status) bind(C, name="gsetfontset_")
      import :: c_int, c_char
      integer(c_int), intent(in) :: wn
      character(kind=c_char), intent(in) :: names(*)
      integer(c_int), intent(out) :: status
    end subroutine gsetfontset
  end interface

  ! symbol: a text of nchar characters, or (nchar negative) a marker code.
  ! The text is declared as one character so that the generic can tell it
  ! from the code; the whole string is passed all the same.
  interface symbol
    subroutine symbol_text(x, y, size, text, theta, nchar) bind(C, name="symbol_")
      import :: c_int, c_float, c_char
      real(c_float), intent(in) :: x, y, size
      character(kind=c_char), intent(in) :: text
      real(c_float), intent(in) :: theta
      integer(c_int), intent(in) :: nchar
    end subroutine symbol_text

    subroutine symbol_code(x, y, size, code, theta, nchar) bind(C, name="symbol_")
      import :: c_int, c_float
      real(c_float), intent(in) :: x, y, size
      integer(c_int), intent(in) :: code
      real(c_float), intent(in) :: theta
      integer(c_int), intent(in) :: nchar
    end subroutine symbol_code
  end interface symbol

  ! ---- layers, clearing and scrolling --------------------------------------
  interface
    subroutine layer(wn, show, write) bind(C, name="layer_")
      import :: c_int
      integer(c_int), intent(in) :: wn, show, write
    end subroutine layer

    subroutine copylayer(wn, src, dst) bind(C, name="copylayer_")
      import :: c_int
      integer(c_int), intent(in) :: wn, src, dst
    end subroutine copylayer

    subroutine gclr(wn) bind(C, name="gclr_")
      import :: c_int
      integer(c_int), intent(in) :: wn
    end subroutine gclr

    subroutine clsx() bind(C, name="clsx_")
    end subroutine clsx

    subroutine gscroll(wn, dx, dy, clr) bind(C, name="gscroll_")
      import :: c_int
      integer(c_int), intent(in) :: wn, dx, dy, clr
    end subroutine gscroll

    subroutine tclr() bind(C, name="tclr_")
    end subroutine tclr

    subroutine clsc() bind(C, name="clsc_")
    end subroutine clsc

    subroutine selwin(wn) bind(C, name="selwin_")
      import :: c_int
      integer(c_int), intent(in) :: wn
    end subroutine selwin
  end interface

  ! ---- pixel transfer and image files ------------------------------------
  interface
    ! rgb holds red, green, blue per pixel, rows from the top: rgb(3, width, height)
    subroutine putimg24(wn, x, y, width, height, rgb) bind(C, name="putimg24_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x, y
      integer(c_int), intent(in) :: width, height
      integer(c_int), intent(in) :: rgb(*)
    end subroutine putimg24

    ! z(nx, ny) as cells of colour filling (x0, y0) to (x1, y1); palette 0 grey,
    ! 1 sequential, 2 diverging; result 0, or -1 for bad arguments
    subroutine putfield(wn, x0, y0, x1, y1, z, nx, ny, zmin, zmax, palette, result) &
        bind(C, name="putfield_")
      import :: c_int, c_float
      integer(c_int), intent(in) :: wn
      real(c_float), intent(in) :: x0, y0, x1, y1
      integer(c_int), intent(in) :: nx, ny
      real(c_float), intent(in) :: z(nx, ny)
      real(c_float), intent(in) :: zmin, zmax
      integer(c_int), intent(in) :: palette
      integer(c_int), intent(out) :: result
    end subroutine putfield

    subroutine saveimg(wn, layer, x0, y0, x1, y1, name, nd, conv, levels) bind(C, name="saveimg_")
      import :: c_int, c_float, c_char
      integer(c_int), intent(in) :: wn, layer
      real(c_float), intent(in) :: x0, y0, x1, y1
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), intent(in) :: nd
      character(kind=c_char), intent(in) :: conv(*)
      integer(c_int), intent(in) :: levels
    end subroutine saveimg

    subroutine gwaitsave(result) bind(C, name="gwaitsave_")
      import :: c_int
      integer(c_int), intent(out) :: result
    end subroutine gwaitsave
  end interface

  ! ---- input ---------------------------------------------------------------------
  interface
    subroutine ggetch(key) bind(C, name="ggetch_")
      import :: c_int
      integer(c_int), intent(out) :: key
    end subroutine ggetch

    subroutine inkeydollar(key) bind(C, name="inkeydollar_")
      import :: c_int
      integer(c_int), intent(out) :: key
    end subroutine inkeydollar

    subroutine ggetxpress(wn, type, code, x, y) bind(C, name="ggetxpress_")
      import :: c_int, c_float
      integer(c_int), intent(out) :: wn, type, code
      real(c_float), intent(out) :: x, y
    end subroutine ggetxpress

    subroutine ggetevent(wn, type, code, x, y) bind(C, name="ggetevent_")
      import :: c_int, c_float
      integer(c_int), intent(out) :: wn, type, code
      real(c_float), intent(out) :: x, y
    end subroutine ggetevent

    subroutine gsetscrollbarkeymask(wn, mask) bind(C, name="gsetscrollbarkeymask_")
      import :: c_int
      integer(c_int), intent(in) :: wn, mask
    end subroutine gsetscrollbarkeymask

    subroutine gsetcloseevent(wn, on) bind(C, name="gsetcloseevent_")
      import :: c_int
      integer(c_int), intent(in) :: wn, on
    end subroutine gsetcloseevent
  end interface

  ! ==== the C entry points ====================================================
  ! Every C entry point without a printf-style format, with its own
  ! arguments: INTEGER and DOUBLE PRECISION by value, arrays and results by
  ! reference, strings NUL-terminated, image buffers as type(c_ptr).  Its
  ! name is the C name without "kova_", or the C name itself where a twin
  ! above has the short one.  Output arguments that C lets be NULL are
  ! optional.

  ! ---- C: windows, attributes, modes -----------------------------------------
  interface
    subroutine kova_msleep(ms) bind(C, name="kova_msleep")
      import :: c_int
      integer(c_int), value :: ms
    end subroutine kova_msleep

    function kova_gopen(width, height) bind(C, name="kova_gopen")
      import :: c_int
      integer(c_int) :: kova_gopen
      integer(c_int), value :: width, height
    end function kova_gopen

    subroutine kova_gclose(wn) bind(C, name="kova_gclose")
      import :: c_int
      integer(c_int), value :: wn
    end subroutine kova_gclose

    subroutine kova_gcloseall() bind(C, name="kova_gcloseall")
    end subroutine kova_gcloseall

    subroutine gsetinitialattributes(values, mask) bind(C, name="kova_gsetinitialattributes")
      import :: c_int
      integer(c_int), value :: values, mask
    end subroutine gsetinitialattributes

    function ggetinitialattributes() bind(C, name="kova_ggetinitialattributes")
      import :: c_int
      integer(c_int) :: ggetinitialattributes
    end function ggetinitialattributes

    subroutine kova_gsetinitialwinname(storename, iconname, resname, resclass) &
        bind(C, name="kova_gsetinitialwinname")
      import :: c_char
      character(kind=c_char), intent(in), optional :: storename(*), iconname(*)
      character(kind=c_char), intent(in), optional :: resname(*), resclass(*)
    end subroutine kova_gsetinitialwinname

    function kova_ggetdisplayinfo(depth, root_width, root_height) &
        bind(C, name="kova_ggetdisplayinfo")
      import :: c_int
      integer(c_int) :: kova_ggetdisplayinfo
      integer(c_int), intent(out), optional :: depth, root_width, root_height
    end function kova_ggetdisplayinfo

    subroutine kova_gsetnonflush(flag) bind(C, name="kova_gsetnonflush")
      import :: c_int
      integer(c_int), value :: flag
    end subroutine kova_gsetnonflush

    function kova_ggetnonflush() bind(C, name="kova_ggetnonflush")
      import :: c_int
      integer(c_int) :: kova_ggetnonflush
    end function kova_ggetnonflush

    subroutine kova_gflush() bind(C, name="kova_gflush")
    end subroutine kova_gflush

    subroutine kova_gsetnonblock(flag) bind(C, name="kova_gsetnonblock")
      import :: c_int
      integer(c_int), value :: flag
    end subroutine kova_gsetnonblock

    subroutine kova_gsetcloseevent(wn, on) bind(C, name="kova_gsetcloseevent")
      import :: c_int
      integer(c_int), value :: wn, on
    end subroutine kova_gsetcloseevent
  end interface

  ! ---- C: coordinates --------------------------------------------------------
  interface
    subroutine kova_window(wn, xs, ys, xe, ye) bind(C, name="kova_window")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xs, ys, xe, ye
    end subroutine kova_window

    subroutine coordinate(wn, xw, yw, xcen, ycen, xs, ys) bind(C, name="kova_coordinate")
      import :: c_int, c_double
      integer(c_int), value :: wn, xw, yw
      real(c_double), value :: xcen, ycen, xs, ys
    end subroutine coordinate
  end interface

  ! ---- C: pen ----------------------------------------------------------------
  interface
    subroutine kova_newrgbcolor(wn, r, g, b) bind(C, name="kova_newrgbcolor")
      import :: c_int
      integer(c_int), value :: wn, r, g, b
    end subroutine kova_newrgbcolor

    subroutine kova_newhsvcolor(wn, h, s, v) bind(C, name="kova_newhsvcolor")
      import :: c_int
      integer(c_int), value :: wn, h, s, v
    end subroutine kova_newhsvcolor

    subroutine kova_newpen(wn, n) bind(C, name="kova_newpen")
      import :: c_int
      integer(c_int), value :: wn, n
    end subroutine kova_newpen

    subroutine kova_newlinewidth(wn, width) bind(C, name="kova_newlinewidth")
      import :: c_int
      integer(c_int), value :: wn, width
    end subroutine kova_newlinewidth

    subroutine kova_newlinestyle(wn, style) bind(C, name="kova_newlinestyle")
      import :: c_int
      integer(c_int), value :: wn, style
    end subroutine kova_newlinestyle

    subroutine newgcfunction(wn, func) bind(C, name="kova_newgcfunction")
      import :: c_int
      integer(c_int), value :: wn, func
    end subroutine newgcfunction
  end interface

  ! ---- C: primitives ---------------------------------------------------------
  interface
    subroutine kova_pset(wn, x, y) bind(C, name="kova_pset")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
    end subroutine kova_pset

    subroutine kova_drawline(wn, x0, y0, x1, y1) bind(C, name="kova_drawline")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x0, y0, x1, y1
    end subroutine kova_drawline

    subroutine kova_line(wn, x, y, mode) bind(C, name="kova_line")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      integer(c_int), value :: mode
    end subroutine kova_line

    subroutine kova_moveto(wn, x, y) bind(C, name="kova_moveto")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
    end subroutine kova_moveto

    subroutine kova_lineto(wn, x, y) bind(C, name="kova_lineto")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
    end subroutine kova_lineto

    subroutine kova_drawpts(wn, x, y, n) bind(C, name="kova_drawpts")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine kova_drawpts

    subroutine drawptsf(wn, x, y, n) bind(C, name="kova_drawptsf")
      import :: c_int, c_float
      integer(c_int), value :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine drawptsf

    subroutine kova_drawlines(wn, x, y, n) bind(C, name="kova_drawlines")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine kova_drawlines

    subroutine drawlinesf(wn, x, y, n) bind(C, name="kova_drawlinesf")
      import :: c_int, c_float
      integer(c_int), value :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine drawlinesf

    subroutine kova_drawpoly(wn, x, y, n) bind(C, name="kova_drawpoly")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine kova_drawpoly

    subroutine drawpolyf(wn, x, y, n) bind(C, name="kova_drawpolyf")
      import :: c_int, c_float
      integer(c_int), value :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), value :: n
    end subroutine drawpolyf

    subroutine kova_fillpoly(wn, x, y, n, shape) bind(C, name="kova_fillpoly")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), intent(in) :: x(*), y(*)
      integer(c_int), value :: n, shape
    end subroutine kova_fillpoly

    subroutine fillpolyf(wn, x, y, n, shape) bind(C, name="kova_fillpolyf")
      import :: c_int, c_float
      integer(c_int), value :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), value :: n, shape
    end subroutine fillpolyf

    subroutine kova_drawrect(wn, x, y, w, h) bind(C, name="kova_drawrect")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y, w, h
    end subroutine kova_drawrect

    subroutine kova_fillrect(wn, x, y, w, h) bind(C, name="kova_fillrect")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y, w, h
    end subroutine kova_fillrect
  end interface

  ! ---- C: arcs and circles ---------------------------------------------------
  interface
    subroutine kova_drawarc(wn, xcen, ycen, xrad, yrad, sang, eang, idir) &
        bind(C, name="kova_drawarc")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xcen, ycen, xrad, yrad, sang, eang
      integer(c_int), value :: idir
    end subroutine kova_drawarc

    subroutine kova_fillarc(wn, xcen, ycen, xrad, yrad, sang, eang, idir) &
        bind(C, name="kova_fillarc")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xcen, ycen, xrad, yrad, sang, eang
      integer(c_int), value :: idir
    end subroutine kova_fillarc

    subroutine kova_drawcirc(wn, xcen, ycen, xrad, yrad) bind(C, name="kova_drawcirc")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xcen, ycen, xrad, yrad
    end subroutine kova_drawcirc

    subroutine circle(wn, xcen, ycen, xrad, yrad) bind(C, name="kova_circle")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xcen, ycen, xrad, yrad
    end subroutine circle

    subroutine kova_fillcirc(wn, xcen, ycen, xrad, yrad) bind(C, name="kova_fillcirc")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xcen, ycen, xrad, yrad
    end subroutine kova_fillcirc
  end interface

  ! ---- C: symbols and arrows -------------------------------------------------
  interface
    subroutine kova_drawsym(wn, x, y, size, type) bind(C, name="kova_drawsym")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      integer(c_int), value :: size, type
    end subroutine kova_drawsym

    subroutine kova_drawsyms(wn, x, y, n, size, type) bind(C, name="kova_drawsyms")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), intent(in) :: x(*), y(*)
      integer(c_int), value :: n, size, type
    end subroutine kova_drawsyms

    subroutine drawsymsf(wn, x, y, n, size, type) bind(C, name="kova_drawsymsf")
      import :: c_int, c_float
      integer(c_int), value :: wn
      real(c_float), intent(in) :: x(*), y(*)
      integer(c_int), value :: n, size, type
    end subroutine drawsymsf

    subroutine kova_drawarrow(wn, xs, ys, xt, yt, s, w, shape) bind(C, name="kova_drawarrow")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: xs, ys, xt, yt, s, w
      integer(c_int), value :: shape
    end subroutine kova_drawarrow
  end interface

  ! ---- C: layers and resize --------------------------------------------------
  interface
    subroutine kova_layer(wn, show, write) bind(C, name="kova_layer")
      import :: c_int
      integer(c_int), value :: wn, show, write
    end subroutine kova_layer

    subroutine kova_copylayer(wn, src, dst) bind(C, name="kova_copylayer")
      import :: c_int
      integer(c_int), value :: wn, src, dst
    end subroutine kova_copylayer

    subroutine kova_gclr(wn) bind(C, name="kova_gclr")
      import :: c_int
      integer(c_int), value :: wn
    end subroutine kova_gclr

    subroutine kova_gscroll(wn, dx, dy, clr) bind(C, name="kova_gscroll")
      import :: c_int
      integer(c_int), value :: wn, dx, dy, clr
    end subroutine kova_gscroll

    subroutine kova_tclr() bind(C, name="kova_tclr")
    end subroutine kova_tclr

    subroutine gresize(wn, width, height) bind(C, name="kova_gresize")
      import :: c_int
      integer(c_int), value :: wn, width, height
    end subroutine gresize
  end interface

  ! ---- C: pixel transfer and image files -------------------------------------
  interface
    subroutine gputarea(wn, x, y, src_wn, src_layer, xs0, ys0, xs1, ys1) &
        bind(C, name="kova_gputarea")
      import :: c_int, c_double
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      integer(c_int), value :: src_wn, src_layer
      real(c_double), value :: xs0, ys0, xs1, ys1
    end subroutine gputarea

    function ggetimage(wn, layer, xs0, ys0, xs1, ys1, r_width, r_height) &
        bind(C, name="kova_ggetimage")
      import :: c_int, c_double, c_ptr
      type(c_ptr) :: ggetimage
      integer(c_int), value :: wn, layer
      real(c_double), value :: xs0, ys0, xs1, ys1
      integer(c_int), intent(out), optional :: r_width, r_height
    end function ggetimage

    function gputimage(wn, x, y, buf, width, height, msk) bind(C, name="kova_gputimage")
      import :: c_int, c_double, c_ptr
      integer(c_int) :: gputimage
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      type(c_ptr), value :: buf
      integer(c_int), value :: width, height, msk
    end function gputimage

    function kova_putimg24(wn, x, y, width, height, buf) bind(C, name="kova_putimg24")
      import :: c_int, c_double, c_ptr
      integer(c_int) :: kova_putimg24
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      integer(c_int), value :: width, height
      type(c_ptr), value :: buf
    end function kova_putimg24

    function putimg24m(wn, x, y, width, height, buf) bind(C, name="kova_putimg24m")
      import :: c_int, c_double, c_ptr
      integer(c_int) :: putimg24m
      integer(c_int), value :: wn
      real(c_double), value :: x, y
      integer(c_int), value :: width, height
      type(c_ptr), value :: buf
    end function putimg24m

    ! z(nx, ny) of DOUBLE PRECISION (kova_putfield) or REAL (putfieldf)
    function kova_putfield(wn, x0, y0, x1, y1, z, nx, ny, zmin, zmax, palette) &
        bind(C, name="kova_putfield")
      import :: c_int, c_double
      integer(c_int) :: kova_putfield
      integer(c_int), value :: wn
      real(c_double), value :: x0, y0, x1, y1
      integer(c_int), value :: nx, ny
      real(c_double), intent(in) :: z(nx, ny)
      real(c_double), value :: zmin, zmax
      integer(c_int), value :: palette
    end function kova_putfield

    function putfieldf(wn, x0, y0, x1, y1, z, nx, ny, zmin, zmax, palette) &
        bind(C, name="kova_putfieldf")
      import :: c_int, c_float, c_double
      integer(c_int) :: putfieldf
      integer(c_int), value :: wn
      real(c_double), value :: x0, y0, x1, y1
      integer(c_int), value :: nx, ny
      real(c_float), intent(in) :: z(nx, ny)
      real(c_double), value :: zmin, zmax
      integer(c_int), value :: palette
    end function putfieldf

    function kova_gwaitsave() bind(C, name="kova_gwaitsave")
      import :: c_int
      integer(c_int) :: kova_gwaitsave
    end function kova_gwaitsave

    function readimage(conv, name, r_width, r_height, r_msk) bind(C, name="kova_readimage")
      import :: c_int, c_char, c_ptr
      type(c_ptr) :: readimage
      character(kind=c_char), intent(in), optional :: conv(*)
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), intent(out), optional :: r_width, r_height, r_msk
    end function readimage

    ! The C library's free(), for the buffers of ggetimage and readimage.
    subroutine c_free(buf) bind(C, name="free")
      import :: c_ptr
      type(c_ptr), value :: buf
    end subroutine c_free
  end interface

  ! ---- C: input --------------------------------------------------------------
  interface
    function kova_ggetxpress(type, code, x, y) bind(C, name="kova_ggetxpress")
      import :: c_int, c_double
      integer(c_int) :: kova_ggetxpress
      integer(c_int), intent(out), optional :: type, code
      real(c_double), intent(out), optional :: x, y
    end function kova_ggetxpress

    function ggetxpressf(type, code, x, y) bind(C, name="kova_ggetxpressf")
      import :: c_int, c_float
      integer(c_int) :: ggetxpressf
      integer(c_int), intent(out), optional :: type, code
      real(c_float), intent(out), optional :: x, y
    end function ggetxpressf

    function kova_ggetevent(type, code, x, y) bind(C, name="kova_ggetevent")
      import :: c_int, c_double
      integer(c_int) :: kova_ggetevent
      integer(c_int), intent(out), optional :: type, code
      real(c_double), intent(out), optional :: x, y
    end function kova_ggetevent

    function ggeteventf(type, code, x, y) bind(C, name="kova_ggeteventf")
      import :: c_int, c_float
      integer(c_int) :: ggeteventf
      integer(c_int), intent(out), optional :: type, code
      real(c_float), intent(out), optional :: x, y
    end function ggeteventf

    function kova_ggetch() bind(C, name="kova_ggetch")
      import :: c_int
      integer(c_int) :: kova_ggetch
    end function kova_ggetch

    subroutine kova_gsetscrollbarkeymask(wn, mask) bind(C, name="kova_gsetscrollbarkeymask")
      import :: c_int
      integer(c_int), value :: wn, mask
    end subroutine kova_gsetscrollbarkeymask
  end interface
end module kova
