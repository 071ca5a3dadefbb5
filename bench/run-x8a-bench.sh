#!/bin/bash
# run-x8a-bench.sh - the x8a benchmark in one command.
#
#   bench/run-x8a-bench.sh [--rounds N] [--locale NAME|all] [--depth 24|8]
#                          [--build-dir DIR]
#
# Builds what is missing (release-like flags, no sanitizers), then runs
# bench/x8a_bench: a private Xvfb, x8a and x8a_raw alternately, median
# times, the ratio x8a/raw for the whole run and per phase, the processor
# time x8a adds per call in each phase, peak resident memory, the verdict
# on the 2 % goal (7 rounds or more for the wall ratio to count), and a
# check that nothing is left behind.  The server runs on
# processor 0 and the programs on processor 1, which steadies the times on
# a two-processor machine.  The locale defaults to the environment's;
# "all" runs C, C.UTF-8 and, where installed, ja_JP.eucJP, one after the
# other.  Each locale runs on a 24-bit screen and then on an 8-bit
# PseudoColor one, where the colormap fills; --depth picks one of them.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=7
locales=()
depths=(24 8)
build=build-bench
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds=$2; shift 2 ;;
        --locale) locales+=("$2"); shift 2 ;;
        --depth) depths=("$2"); shift 2 ;;
        --build-dir) build=$2; shift 2 ;;
        *) sed -n '4,17p' "$0"; exit 2 ;;
    esac
done

ja=$(locale -a 2>/dev/null | grep -i -m1 '^ja_JP\.euc' || true)
if [ ${#locales[@]} -eq 0 ]; then
    locales=("${LC_ALL:-${LC_CTYPE:-${LANG:-C}}}")
elif [ "${locales[0]}" = all ]; then
    locales=(C C.UTF-8)
    [ -n "$ja" ] && locales+=("$ja")
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVA_SANITIZE=OFF >/dev/null
cmake --build "$build" --target x8a x8a_raw x8a_probe x8a_bench >/dev/null

for loc in "${locales[@]}"; do
    for depth in "${depths[@]}"; do
        echo
        LC_ALL=$loc "$build/bench/x8a_bench" --pin --rounds "$rounds" --depth "$depth" \
            --x8a "$PWD/$build/demo/x8a" --raw "$PWD/$build/bench/x8a_raw" \
            --probe "$PWD/$build/bench/libx8a_probe.so"
    done
done
