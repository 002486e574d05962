#!/usr/bin/env bash
# Checks a Windows module built by MinGW: it exports exactly the plain names that its .def file
# lists (none missing, none extra, none decorated), and it needs no MinGW runtime DLL, which the
# machines it is installed on do not have.
#   check-exports.sh MODULE.DLL MODULE.def [EXPORT-LINE-PATTERN]
# The pattern picks the .def lines that list exports (default: lines starting with DLL_).
set -euo pipefail
dll=$1 def=$2 pattern=${3:-DLL_}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

want=$(grep -E "^[[:space:]]*${pattern}" "$def" | sed -E 's/^[[:space:]]*([A-Za-z_0-9@]+).*/\1/' | sort)
if [ -z "$want" ]; then
  echo "$def lists no exports" >&2
  exit 1
fi
dump=$("$objdump" -p "$dll")
# The names follow "[Ordinal/Name Pointer] Table", one "[  n] NAME" line each, up to a blank line.
have=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF} t&&/^[[:space:]]*$/{t=0}' \
  <<<"$dump" | sort)

status=0
missing=$(comm -23 <(echo "$want") <(echo "$have"))
extra=$(comm -13 <(echo "$want") <(echo "$have"))
if [ -n "$missing" ]; then
  echo "$(basename "$dll") lacks exports that $(basename "$def") lists:" $missing >&2
  status=1
fi
if [ -n "$extra" ]; then
  echo "$(basename "$dll") exports names that $(basename "$def") does not list:" $extra >&2
  status=1
fi
runtime=$(awk '/DLL Name:/{print $3}' <<<"$dump" | grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' || true)
if [ -n "$runtime" ]; then
  echo "$(basename "$dll") needs MinGW runtime DLLs (link statically):" $runtime >&2
  status=1
fi
[ $status -eq 0 ] || exit $status
echo "$(echo "$want" | wc -l) exports of $(basename "$dll") match $(basename "$def")"
