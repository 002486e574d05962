#!/usr/bin/env bash
# Checks a 32-bit Windows module for the systems it is installed on, Windows 95 and NT 4.0:
#  - its PE header asks for OS and subsystem version 4.0 (a later one is refused there);
#  - every call it imports is in the list (cmake/windows-imports.txt) as one that both export,
#    one that Windows 95 has as a stub the product copes with, or a harmless stub of MinGW's
#    runtime; an import the list lacks or refuses fails.
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
declare -A verdict
while read -r dll fn word source; do
  case "$dll" in ''|'#'*) continue ;; esac
  if [ -z "$source" ]; then
    echo "$(basename "$list"): $dll $fn has no source" >&2
    status=1
  fi
  verdict["$dll $fn"]=$word
done <"$list"
declare -A counts
while read -r dll fn; do
  [ -n "$dll" ] || continue
  word=${verdict["$dll $fn"]:-}
  case "$word" in
    both|stub95|harmless) counts[$word]=$(( ${counts[$word]:-0} + 1 )) ;;
    refused) echo "$name imports $dll $fn, which Windows 95 or NT 4.0 lacks ($(basename "$list"))" >&2
             status=1 ;;
    *) echo "$name imports $dll $fn, which $(basename "$list") does not list" >&2
       status=1 ;;
  esac
done <<<"$imports"
[ $status -eq 0 ] || exit $status
echo "$name: version 4.0, $(wc -l <<<"$imports") imports, all listed" \
     "(${counts[both]:-0} in both, ${counts[stub95]:-0} stubs on 95, ${counts[harmless]:-0} harmless)"
