#!/bin/bash
# Every manual page renders at 80 columns without a single warning from
# man and groff, and every library page says what a reader comes for:
# synopsis, description, messages and an example.
#
#   man_check.sh SOURCE_DIR
set -euo pipefail
src=$1
status=0
pages=("$src"/man/*.[1-9])
[ ${#pages[@]} -gt 1 ] || { echo "no manual pages in $src/man"; exit 1; }
for page in "${pages[@]}"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || echo "man failed")
    if [ -n "$warnings" ]; then
        echo "$(basename "$page"): $warnings"
        status=1
    fi
    case $page in *.3)
        for section in NAME SYNOPSIS DESCRIPTION DIAGNOSTICS EXAMPLE; do
            grep -q "^\.SH $section" "$page" || { echo "$(basename "$page") has no $section"; status=1; }
        done
        ;;
    esac
done
[ $status = 0 ] && echo "${#pages[@]} manual pages render without warnings"
exit $status
