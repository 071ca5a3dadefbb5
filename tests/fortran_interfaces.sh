#!/bin/bash
# The interface module lib/kova.f90 against the library's Fortran twins:
# gfortran turns the module's interfaces into C prototypes, which must match
# the twins defined in lib/*.cpp argument by argument (const and names
# aside).  Every twin the library defines must have an interface.
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

status=0
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
echo "$checked twins of the library match their interfaces;" \
     "$(cut -d'(' -f1 "$tmp/module" | sort -u | wc -l) interfaces in the module"
exit $status
