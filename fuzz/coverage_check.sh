#!/bin/bash
# coverage_check.sh LIBRARY FUZZER - every entry point the shared library
# exports is in the fuzz driver's table, and the table names nothing else.
set -euo pipefail
exported=$(nm -D --defined-only --format=posix "$1" | awk '$2 ~ /^[TW]$/ { print $1 }' | sort -u)
listed=$("$2" --list | sort -u)
missing=$(comm -23 <(echo "$exported") <(echo "$listed"))
stale=$(comm -13 <(echo "$exported") <(echo "$listed"))
[ -z "$missing" ] || echo "fuzz_api's table lacks:" $missing
[ -z "$stale" ] || echo "fuzz_api's table names what the library does not export:" $stale
[ -z "$missing$stale" ]
