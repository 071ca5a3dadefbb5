#!/bin/bash
# Installs kova into a scratch prefix and uses it as a newcomer would: the
# header, pkg-config and the shared library.  Also checks that the shared
# library exports nothing but the public entry points and carries its soname.
set -euo pipefail
build=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp" >/dev/null
pc=$(find "$tmp" -name kova.pc)
lib=$(find "$tmp" -name 'libkova.so.*.*')
test -f "$tmp/include/kova.h"
test -f "$(dirname "$lib")/libkova.a"

export PKG_CONFIG_PATH=$(dirname "$pc")
cc -std=c99 -pedantic -Wall -Wextra -Werror "$src/examples/hello.c" \
    $(pkg-config --cflags --libs kova) -o "$tmp/hello"
c++ -std=c++17 -Wall -Wextra -Werror -x c++ "$src/examples/hello.c" \
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
echo "install, pkg-config and exports: ok"
