#!/bin/bash
# run-x8a.sh X8A [PICTURE] - run the demonstration program and say how long
# it took.
#
# Draws on $DISPLAY when that display answers; otherwise on a private Xvfb
# that this script starts and stops, and then leaves x8a's last frame in
# PICTURE.png (PICTURE.ppm where ImageMagick's convert is not installed;
# PICTURE defaults to x8a beside the program), since nobody can see that
# server.  Uses an EUC-JP Japanese locale when
# the system has one, so that x8a's katakana strings render; KOVA_LOCALE
# overrides the choice (e.g. KOVA_LOCALE=C.UTF-8).
set -euo pipefail

x8a=${1:?usage: run-x8a.sh path/to/x8a [picture]}
picture=${2:-$(dirname "$x8a")/x8a}

display_answers() {
    [ -n "${DISPLAY:-}" ] || return 1
    # Without xdpyinfo to ask, a display that is named is taken at its word.
    command -v xdpyinfo >/dev/null || return 0
    timeout 10 xdpyinfo >/dev/null 2>&1
}

choose_locale() {
    if [ -n "${KOVA_LOCALE:-}" ]; then
        echo "$KOVA_LOCALE"
        return
    fi
    local ja
    ja=$(locale -a 2>/dev/null | grep -i -m1 '^ja_JP\.euc' || true)
    echo "${ja:-${LC_ALL:-${LC_CTYPE:-${LANG:-C}}}}"
}

xvfb_pid=
stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}
trap stop_xvfb EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! display_answers; then
    # Xvfb writes its display number to the pipe of the coprocess: no
    # lock-file guessing and no temporary file.
    coproc XVFB { exec Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x1024x24 2>/dev/null; }
    xvfb_pid=$XVFB_PID
    number=
    read -r -t 30 -u "${XVFB[0]}" number || true
    if [ -z "$number" ]; then
        echo "run-x8a: Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=":$number"
    where="a private Xvfb ($DISPLAY)"
    if command -v convert >/dev/null; then
        picture=$picture.png
    else
        picture=$picture.ppm
    fi
    rm -f "$picture"
    export X8A_PICTURE=$picture
else
    where="display $DISPLAY"
fi

loc=$(choose_locale)
echo "x8a: drawing on $where in the locale $loc"
start=$(date +%s%N)
status=0
LC_ALL=$loc "$x8a" || status=$?
end=$(date +%s%N)
ms=$(( (end - start) / 1000000 ))
printf 'x8a: finished with status %d in %d.%03d s\n' "$status" $((ms / 1000)) $((ms % 1000))
if [ -n "${X8A_PICTURE:-}" ]; then
    if [ -s "$X8A_PICTURE" ]; then
        echo "x8a: its last frame is in $X8A_PICTURE"
    else
        echo "x8a: its last frame could not be saved to $X8A_PICTURE" >&2
        [ "$status" != 0 ] || status=1
    fi
fi
exit "$status"
