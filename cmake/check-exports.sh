#!/usr/bin/env bash
# Checks a Windows module built by MinGW: it exports exactly the plain names that its .def file
# lists (none missing, none extra, none decorated); each export whose .def line gives its
# argument bytes ("NAME=NAME@N") removes that many from the stack when it returns (`ret N`, as
# the standard call the caller makes needs); and it needs no MinGW runtime DLL, which the
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
# Stack clean-up: the first return of each export's code, which starts at the export's address.
# 64-bit Windows (PE32+, magic 020b) has one calling convention, where the caller cleans up: the
# .def's byte counts are the 32-bit ones and say nothing there.
image_base=$(awk '/^ImageBase/{print $2; exit}' <<<"$dump")
wide=0; [ "$(awk '/^Magic/{print $2; exit}' <<<"$dump")" = "020b" ] && wide=1
declare -A rva_of
while read -r index rva; do rva_of[$index]=$rva; done < <(
  awk '/Export Address Table/{t=1;next} t&&/^[[:space:]]*\[/{gsub(/[][]/," "); print $1, $(NF-2)}
       t&&/^[[:space:]]*$/{t=0}' <<<"$dump")
while read -r index name; do
  [ $wide -eq 0 ] || break
  bytes=$(sed -nE "s/^[[:space:]]*${name}=[A-Za-z_0-9]+@([0-9]+).*/\1/p" "$def" | head -1)
  [ -n "$bytes" ] || continue
  rva=${rva_of[$index]:-}
  if [ -z "$rva" ]; then
    echo "$(basename "$dll"): no address for export $name" >&2
    status=1
    continue
  fi
  start=$(printf '0x%x' $((0x$image_base + 0x$rva)))
  ret=$("$objdump" -d --no-show-raw-insn --start-address="$start" \
          --stop-address=$(printf '0x%x' $((start + 0x4000))) "$dll" |
        grep -m1 -E '^[[:space:]]*[0-9a-f]+:[[:space:]]+ret' || true)
  if [[ $ret =~ ret[l]?[[:space:]]+\$0x([0-9a-f]+) ]]; then
    cleaned=$((16#${BASH_REMATCH[1]}))
  elif [ -n "$ret" ]; then
    cleaned=0
  else
    echo "$(basename "$dll"): no return found in $name" >&2
    status=1
    continue
  fi
  if [ "$cleaned" -ne "$bytes" ]; then
    echo "$(basename "$dll"): $name removes $cleaned bytes of arguments (ret $cleaned);" \
         "$(basename "$def") gives $bytes" >&2
    status=1
  fi
done < <(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next}
              t&&/^[[:space:]]*\[/{gsub(/[][]/," "); print $1, $NF} t&&/^[[:space:]]*$/{t=0}' \
           <<<"$dump")

runtime=$(awk '/DLL Name:/{print $3}' <<<"$dump" | grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' || true)
if [ -n "$runtime" ]; then
  echo "$(basename "$dll") needs MinGW runtime DLLs (link statically):" $runtime >&2
  status=1
fi
[ $status -eq 0 ] || exit $status
if [ $wide -eq 0 ]; then
  echo "$(echo "$want" | wc -l) exports of $(basename "$dll") match $(basename "$def"), with their stack clean-up"
else
  echo "$(echo "$want" | wc -l) exports of $(basename "$dll") match $(basename "$def")"
fi
