#!/usr/bin/env bash
# Lists what an uninstall script names that is still on the machine: its files (placeholders
# expanded from [strings]), the printers and ports it names with their drivers of the machine's
# own environment, its registry keys, and the shared-DLL counts of its files.
# Prints "nothing the script lists is left", or each thing left and exits 1.
set -euo pipefail
winsim=$1 machine=$2 script=$3
left=0
text=$(tr -d '\r' <"$script")
# The host path of a Windows path on the machine, looked up without regard to case, into `found`
# (no subshell per file: a script lists many).
shopt -s nocasematch dotglob nullglob
host() {
  local rest=${1#?:\\} part entry
  found="$machine/drive_c"
  IFS='\' read -r -a parts <<<"$rest"
  for part in "${parts[@]}"; do
    local match=""
    for entry in "$found"/*; do
      if [[ ${entry##*/} == "$part" ]]; then match=$entry; break; fi
    done
    found=${match:-$found/$part}
  done
}
strings=$(sed -n '/^\[strings\]/,/^\[/p' <<<"$text" | grep '=' || true)
# The entry with its first %name% replaced from [strings], into `expanded`.
expand() {
  local name line
  expanded=$1
  if [[ $expanded =~ %([^%]+)% ]]; then
    name=${BASH_REMATCH[1]}
    local value=""
    while IFS= read -r line; do
      if [[ ${line%%=*} == "$name" ]]; then value=${line#*=}; break; fi
    done <<<"$strings"
    expanded=${expanded/"%$name%"/$value}
  fi
}
report() { echo "left: $*"; left=1; }

# The machine's registry, exported once; the lines of a key and its subkeys are read from it.
registry=$("$winsim" reg export "$machine")
subtree() { # KEY
  KEY=$1 awk 'BEGIN { key = "[" tolower(ENVIRON["KEY"]) }
    { sub(/\r$/, "") }
    /^\[/ { h = tolower($0); keep = h == key "]" || index(h, key "\\") == 1 }
    keep' <<<"$registry"
}
shared=$(subtree 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs')
count=0
while IFS= read -r entry; do
  [ -n "$entry" ] || continue
  count=$((count + 1))
  expand "$entry"
  path=$expanded
  host "$path"
  [ -e "$found" ] && report "$path"
  needle="\"${path//\\/\\\\}\"="
  [[ $shared == *"$needle"* ]] && report "shared count of $path"
done < <(awk -F= '/^\[/{s=$0} s ~ /Files\]$/ && /=/{print $1}' <<<"$text")

env="Windows 4.0"
grep -q '^os=nt4' <(tr -d '\r' <"$machine/machine.ini") && env="Windows NT x86"
show=$("$winsim" show "$machine")
while IFS= read -r printer; do
  grep -qF "printer \"$printer\" " <<<"$show" && report "printer $printer"
  grep -qF "driver \"$printer\" environment \"$env\"" <<<"$show" && report "driver $printer ($env)"
done < <(sed -n 's/^Driver=//p' <<<"$text")
while IFS= read -r port; do
  grep -qF "port \"$port\" " <<<"$show" && report "port $port"
done < <(sed -n 's/^Port=//p' <<<"$text")

while IFS= read -r entry; do
  root=${entry%%,*} rest=${entry#*,}
  case $root in -2147483646) root=HKEY_LOCAL_MACHINE ;; -2147483647) root=HKEY_CURRENT_USER ;; esac
  # Two fields name a key, three a value of a key.
  if [[ $rest == *,* ]]; then
    key=${rest%%,*} value=${rest#*,}
    grep -qiF "\"$value\"=" <<<"$(subtree "$root\\$key")" && report "$root\\$key $value"
  else
    [ -n "$(subtree "$root\\$rest")" ] && report "$root\\$rest"
  fi
done < <(awk '/^\[/{s=$0} s ~ /Keys\]$/ && /=$/{sub(/=$/, ""); print}' <<<"$text")

echo "$count files listed"
if [ "$left" = 0 ]; then echo "nothing the script lists is left"; fi
exit "$left"
