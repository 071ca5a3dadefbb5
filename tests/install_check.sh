#!/bin/bash
# Installs kova into a scratch prefix and uses it as a newcomer would: the
# header, pkg-config and the shared library.  Also checks that the shared
# library exports nothing but the public entry points and carries its soname.
#
# Then programs in C and Fortran are built against the installed tree, once
# through pkg-config and once through find_package(kova) in a small CMake
# project of their own, and run on a private Xvfb: each draws into a window
# whose pixels are read back from the screen.
#
#   install_check.sh BUILD_DIR SOURCE_DIR [FORTRAN_COMPILER [SANITIZER_FLAGS]]
set -euo pipefail
build=$1
src=$2
fc=${3:-}
san=${4:-}
tmp=$(mktemp -d)
xvfb=
prog=
cleanup() {
    exec 7>&- 8<&-
    [ -n "$prog" ] && kill -9 "$prog" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "$*"
    exit 1
}

cmake --install "$build" --prefix "$tmp" >/dev/null
pc=$(find "$tmp" -name kova.pc)
lib=$(find "$tmp" -name 'libkova.so.*.*')
libdir=$(dirname "$lib")
test -f "$tmp/include/kova.h"
test -f "$libdir/libkova.a"
test -x "$tmp/bin/x8a"
test -f "$libdir/cmake/kova/kovaConfig.cmake"
test -f "$libdir/cmake/kova/kovaConfigVersion.cmake"
if [ -n "$fc" ]; then
    test -f "$tmp/include/kova.mod" || fail "the Fortran module kova.mod is not installed"
fi
for f in hello.c spiral.c plot.f90 sine_plot.f; do
    test -f "$tmp/share/doc/kova/examples/$f" || fail "example $f is not installed"
done

export PKG_CONFIG_PATH=$(dirname "$pc")
test "$(pkg-config --print-requires-private kova)" = x11 || fail "kova.pc must require x11 privately"
cc -std=c99 -pedantic -Wall -Wextra -Werror $san "$src/examples/hello.c" \
    $(pkg-config --cflags --libs kova) -o "$tmp/hello"
c++ -std=c++17 -Wall -Wextra -Werror $san -x c++ "$src/examples/hello.c" \
    $(pkg-config --cflags --libs kova) -o "$tmp/hello_cxx"

soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$soname" != libkova.so.1 ]; then
    echo "soname is '$soname', want libkova.so.1"
    exit 1
fi

stray=$(nm -D --defined-only "$lib" | awk '{print $3}' |
        grep -vE '^(kova_[a-z0-9_]+|[a-z][a-z0-9]*_)$' || true)
if [ -n "$stray" ]; then
    echo "exported beyond the public entry points:"
    echo "$stray"
    exit 1
fi
plotter=$(find "$tmp" -name 'libkova_plotter.so.*.*')
test -f "$tmp/include/kova_plotter.h" || fail "kova_plotter.h is not installed"
soname=$(readelf -d "$plotter" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libkova_plotter.so.1 ] || fail "the plotter's soname is '$soname'"
[[ "$(pkg-config --libs kova_plotter) " =~ -lkova_plotter\ .*-lkova\  ]] ||
    fail "pkg-config --libs kova_plotter gives '$(pkg-config --libs kova_plotter)'"
exports=$(nm -D --defined-only "$plotter" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "axis_ factor_ line_ newpen_ number_ plot_ plotpage_ plots_ scale_ symbol_ where_ " ] ||
    fail "the plotter library exports: $exports"
echo "install, pkg-config and exports: ok"

# ---- manual pages: man finds every name of every page's NAME section, and
# every exported entry point is such a name ----------------------------------
mandir=$tmp/share/man
test -f "$mandir/man1/x8a.1" || fail "x8a(1) is not installed"
names=$(for page in "$mandir"/man3/*.3; do
            grep -q '^\.so ' "$page" && continue
            sed -n '/^\.SH NAME/,/^\.SH/{/^\./d;p}' "$page" | tr '\n' ' ' | sed 's/\\-.*//'
        done | tr ', ' '\n\n' | grep . | sort -u)
[ -n "$names" ] || fail "no manual page names installed"
# shellcheck disable=SC2086
man -M "$mandir" -w 3 $names >/dev/null || fail "man does not find every name of the pages"
undocumented=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u | comm -23 - <(echo "$names"))
[ -z "$undocumented" ] || fail "entry points without a manual page: $undocumented"
echo "manual pages: $(echo "$names" | wc -l) names found by man"

# ---- programs built against the installed tree ----------------------------
t=$src/tests/install
rpath=-Wl,-rpath,$libdir
cc -std=c99 -Wall -Wextra -Werror $san "$t/check.c" $(pkg-config --cflags --libs kova) $rpath \
    -o "$tmp/pc_c"
# The static library through pkg-config --static (it needs the C++ runtime).
cc -std=c99 -Wall -Wextra -Werror $san "$t/check.c" $(pkg-config --cflags kova) \
    $(pkg-config --static --libs kova | sed 's/-lkova\b/-l:libkova.a/') -o "$tmp/pc_c_static"
cc "$t/probe.c" $(pkg-config --cflags --libs x11) -o "$tmp/probe"
if [ -n "$fc" ]; then
    "$fc" -std=f2018 -Wall -Werror $san "$t/check.f90" $(pkg-config --cflags --libs kova) $rpath \
        -o "$tmp/pc_f"
    "$fc" -std=legacy -w $san "$src/examples/sine_plot.f" $(pkg-config --libs kova_plotter) $rpath \
        -o "$tmp/pc_plotter"
fi
cmake_args=(-DCMAKE_PREFIX_PATH="$tmp" -DCMAKE_C_FLAGS="$san")
if [ -n "$fc" ]; then
    cmake_args+=(-DWITH_FORTRAN=ON -DCMAKE_Fortran_COMPILER="$fc" -DCMAKE_Fortran_FLAGS="$san")
fi
cmake -S "$t" -B "$tmp/user" "${cmake_args[@]}" >/dev/null ||
    fail "a project with find_package(kova) does not configure"
cmake --build "$tmp/user" >/dev/null || fail "a project with find_package(kova) does not build"

# ---- a private X server; the caller's display is never used -----------------
Xvfb -displayfd 9 -nolisten tcp -screen 0 320x240x24 9>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 300); do
    grep -q . "$tmp/display" && break
    kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
done
grep -q . "$tmp/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$tmp/display")

# run_drawing NAME LEFT_PIXEL PROGRAM: the program's window lies at the
# top-left corner; its left half must show LEFT_PIXEL, its right half black,
# and the program must end with status 0 once told to go on.
run_drawing() {
    local name=$1 want=$2 exe=$3 line= got= status=0
    rm -f "$tmp/in" "$tmp/out"
    mkfifo "$tmp/in" "$tmp/out"
    "$exe" <"$tmp/in" >"$tmp/out" 2>"$tmp/err" &
    prog=$!
    exec 7>"$tmp/in" 8<"$tmp/out"
    read -t 20 -r line <&8 || true
    [ "$line" = ready ] || fail "$name: said '$line' instead of ready: $(cat "$tmp/err")"
    for _ in $(seq 100); do
        got=$("$tmp/probe" 16 24 48 24 | tr '\n' ' ')
        [ "$got" = "$want 000000 " ] && break
        sleep 0.05
    done
    [ "$got" = "$want 000000 " ] || fail "$name: the window shows $got, want $want 000000"
    echo go >&7
    exec 7>&- 8<&-
    for _ in $(seq 200); do
        kill -0 "$prog" 2>/dev/null || break
        sleep 0.1
    done
    wait "$prog" || status=$?
    prog=
    [ "$status" = 0 ] || fail "$name: ended with status $status: $(cat "$tmp/err")"
    [ ! -s "$tmp/err" ] || fail "$name: wrote to standard error: $(cat "$tmp/err")"
}

run_drawing "C, pkg-config" ff0000 "$tmp/pc_c"
run_drawing "C, pkg-config --static" ff0000 "$tmp/pc_c_static"
run_drawing "C, find_package" ff0000 "$tmp/user/check_c"
run_drawing "C, find_package, static" ff0000 "$tmp/user/check_c_static"
if [ -n "$fc" ]; then
    run_drawing "Fortran, pkg-config" 00ff00 "$tmp/pc_f"
    run_drawing "Fortran, find_package" 00ff00 "$tmp/user/check_f"
fi

# run_plotter NAME PROGRAM: an old plotting program ends by itself with
# KOVA_PLOTTER_WAIT=0 and leaves its page in the file KOVA_PLOTTER_SAVE
# names; every build of it draws the same page.
run_plotter() {
    local name=$1 exe=$2 status=0
    rm -f "$tmp/page1.ppm"
    KOVA_PLOTTER_WAIT=0 KOVA_PLOTTER_SAVE="$tmp/page.ppm" timeout 60 "$exe" >/dev/null 2>"$tmp/err" ||
        status=$?
    [ "$status" = 0 ] || fail "$name: ended with status $status: $(cat "$tmp/err")"
    [ ! -s "$tmp/err" ] || fail "$name: wrote to standard error: $(cat "$tmp/err")"
    [ "$(head -c 15 "$tmp/page1.ppm")" = "$(printf 'P6\n1024 768\n255')" ] &&
        [ "$(stat -c %s "$tmp/page1.ppm")" = $((16 + 1024 * 768 * 3)) ] ||
        fail "$name: no 1024 x 768 page saved"
    if [ -f "$tmp/first_page.ppm" ]; then
        cmp -s "$tmp/page1.ppm" "$tmp/first_page.ppm" || fail "$name: drew another page"
    else
        mv "$tmp/page1.ppm" "$tmp/first_page.ppm"
    fi
}
if [ -n "$fc" ]; then
    run_plotter "plotter, pkg-config" "$tmp/pc_plotter"
    run_plotter "plotter, find_package" "$tmp/user/check_plotter"
fi
echo "programs built against the installed tree: ok"
