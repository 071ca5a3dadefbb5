#!/bin/bash
# build.sh - install what is missing, build, and run kova's demo or tests.
#
#   ./build.sh demo      install, build, run the demonstration program x8a
#   ./build.sh test      install, build, run the whole test suite
#   ./build.sh build     install and build only
#
# KOVA_SANITIZE=1 builds with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-sanitize/.  BUILD_DIR overrides the build directory.
set -euo pipefail
cd "$(dirname "$0")"

# Fonts: xfonts-base carries the fixed-size ladder, "fixed" and the JIS X
# 0208 / X 0201 fonts that Japanese font sets need (the server scales them
# to sizes such as 48); locales provides the EUC-JP locale definition.
# imagemagick and netpbm are the real converters the image tests run;
# libxtst-dev: the input tests type and click through the XTEST extension.
PACKAGES=(g++ gfortran cmake ninja-build pkg-config libx11-dev libgtest-dev
          xvfb x11-utils procps locales
          xfonts-base xfonts-75dpi xfonts-100dpi imagemagick netpbm
          libxtst-dev)
# The manual pages' test renders them with man.
PACKAGES+=(man-db groff-base)
# A real window manager for the tests of docking, frame resizes and closing.
PACKAGES+=(openbox)

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "kova: installing ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    # The Japanese strings of the demo need an EUC-JP locale.
    if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.euc'; then
        as_root localedef -i ja_JP -f EUC-JP ja_JP.eucJP >/dev/null 2>&1 ||
            echo "kova: could not generate the ja_JP.eucJP locale; Japanese text will not render"
    fi
}

build() {
    local dir=${BUILD_DIR:-build}
    local extra=()
    if [ "${KOVA_SANITIZE:-0}" = 1 ]; then
        dir=${BUILD_DIR:-build-sanitize}
        extra=(-DKOVA_SANITIZE=ON)
    fi
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVA_WERROR=ON "${extra[@]}" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
    BUILT="$dir"
}

run_demo() {
    local x8a="$BUILT/demo/x8a"
    if [ ! -x "$x8a" ]; then
        echo "kova: there is no demo yet"
        return 0
    fi
    demo/run-x8a.sh "$x8a" "$BUILT/x8a"
}

run_tests() {
    (cd "$BUILT" && ctest --output-on-failure -j "$(nproc)")
}

case "${1:-}" in
    demo) install_missing; build; run_demo ;;
    test) install_missing; build; run_tests ;;
    build) install_missing; build ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
esac
