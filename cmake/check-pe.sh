#!/usr/bin/env bash
# Checks a 32-bit Windows module for the systems it is installed on, Windows 95 and NT 4.0:
#  - its PE header asks for OS and subsystem version 4.0 (a later one is refused there);
#  - it imports no call of the list (cmake/old-windows-imports.txt) that one of them lacks or
#    has only as a stub that fails, unless the list calls that stub harmless.
#   check-pe.sh LIST MODULE
set -euo pipefail
list=$1 module=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
name=$(basename "$module")
dump=$("$objdump" -p "$module")
status=0

for field in OSystem Subsystem; do
  major=$(awk -v f="Major${field}Version" '$1 == f {print $2}' <<<"$dump")
  minor=$(awk -v f="Minor${field}Version" '$1 == f {print $2}' <<<"$dump")
  if [ "$major.$minor" != 4.0 ]; then
    echo "$name asks for ${field/OSystem/OS} version $major.$minor; Windows 95 and NT 4.0 load 4.0" >&2
    status=1
  fi
done

# "DLL FUNCTION" for each import by name, DLL names in capitals.
imports=$(awk '/DLL Name:/ {dll = toupper($3); next}
               dll != "" && /^\t[0-9a-f]+\t/ {print dll, $3}
               /^The Export Tables/ {exit}' <<<"$dump")
harmless=0
while read -r dll fn verdict _; do
  case "$dll" in ''|'#'*) continue ;; esac
  if grep -qx "$dll $fn" <<<"$imports"; then
    if [ "$verdict" = harmless ]; then
      harmless=$((harmless + 1))
    else
      echo "$name imports $dll $fn, which Windows 95 or NT 4.0 lacks ($(basename "$list"))" >&2
      status=1
    fi
  fi
done <"$list"
[ $status -eq 0 ] || exit $status
echo "$name: version 4.0, $(wc -l <<<"$imports") imports, none that Windows 95 or NT 4.0 lacks ($harmless harmless stubs)"
