#!/usr/bin/env bash
# Checks that a DLL exports exactly the plain names that its .def file lists.
set -euo pipefail
dll=$1 def=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
want=$(grep -E '^[[:space:]]*DLL_' "$def" | sed -E 's/^[[:space:]]*([A-Za-z_0-9]+).*/\1/' | sort)
have=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\s*\[/{print $NF} t&&/^$/{t=0}' | sort)
if [ "$want" != "$have" ]; then
  echo "export table of $dll differs from $def:" >&2
  diff <(echo "$want") <(echo "$have") >&2 || true
  exit 1
fi
echo "$(echo "$want" | wc -l) exports of $(basename "$dll") match $(basename "$def")"
