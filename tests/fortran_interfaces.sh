#!/bin/bash
# The interface module lib/kova.f90 against the library: gfortran turns the
# module's interfaces into C prototypes, which must match the Fortran twins
# defined in lib/*.cpp and the C entry points declared in lib/kova.h,
# argument by argument and result (const and names aside).  Every twin, and
# every C entry point without a printf-style format, must have an
# interface.
#
#   fortran_interfaces.sh SOURCE_DIR FORTRAN_COMPILER
set -euo pipefail
src=$1
fc=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Prototype text to one comparable line: "name_(type*,type*,...)".
normalize() {
    sed -e 's:/\*[^*]*\*/::g' -e 's/\bconst\b//g' -e 's/^KOVA_FORTRAN *//' -e 's/^void *//' \
        -e 's/( *void *)/()/' -e 's/;$//' |
    awk '{
        name = $0; sub(/ *\(.*/, "", name)
        args = $0; sub(/^[^(]*\(/, "", args); sub(/\).*$/, "", args)
        n = split(args, a, ",")
        out = ""
        for (i = 1; i <= n; i++) {
            t = a[i]; sub(/[A-Za-z_][A-Za-z0-9_]*[ \t]*$/, "", t); gsub(/[ \t]/, "", t)
            out = out (i > 1 ? "," : "") t
        }
        print name "(" out ")"
    }'
}

# Twins whose arguments are ignored are declared with optional arguments of
# any type; for them only the presence of an interface is checked.
awk '/bind\(C, name="/ { match($0, /name="[a-z0-9_]+"/); name = substr($0, RSTART + 6, RLENGTH - 7) }
     /type\(\*\)/ { print name }' "$src/lib/kova.f90" | sort -u >"$tmp/any"

sed 's/type(\*)/integer/' "$src/lib/kova.f90" >"$tmp/kova.f90"
(cd "$tmp" && "$fc" -fc-prototypes -fsyntax-only kova.f90) | grep '^void [a-z0-9]*_ (' |
    normalize | sort -u >"$tmp/module"

awk '/^KOVA_FORTRAN void [a-z0-9]+_\(/ { text = ""; open = 1 }
     open { text = text " " $0; if ($0 ~ /\)/) { print text; open = 0 } }' "$src"/lib/*.cpp |
    sed -e 's/^ *//' -e 's/ *{.*$//' -e 's/) *$/)/' -e 's/  */ /g' | normalize | sort -u >"$tmp/library"

# C prototype text to one comparable line: "result name(type,type,...)".
# Fortran has no unsigned integers and passes image buffers as void *.
normalize_c() {
    sed -e 's:/\*[^*]*\*/::g' -e 's/\bconst\b//g' -e 's/KOVA_API//' -e 's/KOVA_PRINTF([^)]*)//' \
        -e 's/;.*$//' -e 's/\([A-Za-z_][A-Za-z0-9_]*\) *\[\]/*\1/g' -e 's/unsigned char *\*/void */g' -e 's/unsigned int/int/g' \
        -e 's/( *void *)/()/' |
    awk '{
        head = $0; sub(/\(.*/, "", head); sub(/[ \t]+$/, "", head)
        name = head; sub(/^.*[ *]/, "", name)
        result = substr(head, 1, length(head) - length(name)); gsub(/[ \t]/, "", result)
        args = $0; sub(/^[^(]*\(/, "", args); sub(/\)[^)]*$/, "", args)
        n = split(args, a, ",")
        out = ""
        for (i = 1; i <= n; i++) {
            t = a[i]; sub(/[A-Za-z_][A-Za-z0-9_]*[ \t]*$/, "", t); gsub(/[ \t]/, "", t)
            out = out (i > 1 ? "," : "") t
        }
        print result " " name "(" out ")"
    }'
}

(cd "$tmp" && "$fc" -fc-prototypes -fsyntax-only kova.f90) | grep -E '[ *](kova_[a-z0-9]+|free) \(' |
    normalize_c | sort -u >"$tmp/module_c"
{
    awk '/^KOVA_API/ { text = ""; open = 1 }
         open { text = text " " $0; if ($0 ~ /;/) { print text; open = 0 } }' "$src/lib/kova.h" |
        grep -v '\.\.\.'
    echo "void free(void *ptr);"
} | normalize_c | sort -u >"$tmp/header"

status=0
c_checked=0
while read -r sig; do
    name=${sig#* }
    name=${name%%(*}
    c_checked=$((c_checked + 1))
    if ! grep -qxF "$sig" "$tmp/module_c"; then
        echo "the library declares $sig; the module declares:"
        grep " $name(" "$tmp/module_c" || echo "  nothing"
        status=1
    fi
done <"$tmp/header"
stale=$(cut -d'(' -f1 "$tmp/module_c" | cut -d' ' -f2 | sort -u |
        comm -23 - <(cut -d'(' -f1 "$tmp/header" | cut -d' ' -f2 | sort -u))
[ -z "$stale" ] || { echo "the module binds what the library does not declare:" $stale; status=1; }

checked=0
while read -r sig; do
    name=${sig%%(*}
    checked=$((checked + 1))
    if grep -qx "$name" "$tmp/any"; then
        grep -q "^$name(" "$tmp/module" || { echo "no interface for $name"; status=1; }
    elif ! grep -qxF "$sig" "$tmp/module"; then
        echo "the library defines $sig; the module declares:"
        grep "^$name(" "$tmp/module" || echo "  nothing"
        status=1
    fi
done <"$tmp/library"
[ "$checked" -gt 0 ] || { echo "no twins found in $src/lib"; exit 1; }
echo "$checked twins and $c_checked C entry points of the library match their interfaces;" \
     "$(( $(cut -d'(' -f1 "$tmp/module" | sort -u | wc -l) + $(wc -l <"$tmp/module_c") )) interfaces in the module"
exit $status
