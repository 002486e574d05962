#!/usr/bin/env bash
# Lists what an uninstall script names that is still on the machine: its files (placeholders
# expanded from [strings]), the printers and ports it names with their drivers of the machine's
# own environment, its registry keys, and the shared-DLL counts of its files.
# Prints "nothing the script lists is left", or each thing left and exits 1.
set -euo pipefail
winsim=$1 machine=$2 script=$3
left=0
text=$(tr -d '\r' <"$script")
# The host path of a Windows path on the machine (looked up without regard to case).
host() {
  local rest=${1#?:\\} path="$machine/drive_c" part match
  IFS='\' read -r -a parts <<<"$rest"
  for part in "${parts[@]}"; do
    match=$(find "$path" -maxdepth 1 -iname "$part" -print -quit 2>/dev/null || true)
    path=${match:-$path/$part}
  done
  printf '%s\n' "$path"
}
strings=$(sed -n '/^\[strings\]/,/^\[/p' <<<"$text" | grep '=' || true)
expand() {
  local text=$1 name value
  if [[ $text =~ %([^%]+)% ]]; then
    name=${BASH_REMATCH[1]}
    value=$(grep -i "^$name=" <<<"$strings" | head -n 1 | cut -d= -f2-)
    text=${text/"%$name%"/$value}
  fi
  printf '%s\n' "$text"
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
  path=$(expand "$entry")
  [ -e "$(host "$path")" ] && report "$path"
  grep -qiF "\"${path//\\/\\\\}\"=" <<<"$shared" && report "shared count of $path"
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
