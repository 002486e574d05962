#!/usr/bin/env bash
# `winsim show`: the spooler of a machine, one object a line, read from what the machine keeps.
set -uo pipefail
winsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-show.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/nt" --os nt4 >/dev/null || fail "new"
out=$("$winsim" show "$work/nt") || fail "show exits 0"
grep -qx 'monitor "Local Port" file "localmon.dll"' <<<"$out" || fail "local monitor: $out"
grep -qx 'processor "winprint" environment "Windows NT x86" file "winprint.dll"' <<<"$out" \
  || fail "built-in processor: $out"
grep -qx 'port "FILE:" monitor "Local Port"' <<<"$out" || fail "built-in port: $out"
[ "$(grep -c '^port ' <<<"$out")" = 8 ] || fail "eight ports of its own: $out"

print='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print'
cat > "$work/spooler.reg" <<REG
REGEDIT4

[$print\Environments\Windows NT x86\Drivers\Version-2\KV Pellora 4720]
"Version"=dword:00000400
"Driver"="KVDRV.DLL"
"Monitor"="KV Language Monitor"

[$print\Monitors\KV Language Monitor]
"Driver"="KVLMON.DLL"

[$print\Printers\KV Pellora 4720]
"Port"="LPT1:"
"Printer Driver"="KV Pellora 4720"
"Print Processor"="WinPrint"
"Datatype"="RAW"
"Attributes"=dword:00000244

[HKEY_CURRENT_USER\Printers\Connections\,,SERVER,KV4720]
"Printer Driver"="KV Pellora 4720"
REG
"$winsim" reg import "$work/nt" "$work/spooler.reg" || fail "import"
printf '[windows]\r\ndevice=KV Pellora 4720,KVDRV,LPT1:\r\n' > "$work/nt/drive_c/WINDOWS/WIN.INI"
out=$("$winsim" show "$work/nt") || fail "show"
grep -qx 'printer "KV Pellora 4720" port "LPT1:" driver "KV Pellora 4720" processor "WinPrint" datatype "RAW" attributes 0x00000244 default' <<<"$out" \
  || fail "printer line: $out"
grep -qx 'driver "KV Pellora 4720" environment "Windows NT x86" version 1024 file "KVDRV.DLL" monitor "KV Language Monitor"' <<<"$out" \
  || fail "driver line: $out"
grep -qx 'monitor "KV Language Monitor" file "KVLMON.DLL"' <<<"$out" || fail "monitor line: $out"
grep -qx 'connection "\\\\SERVER\\KV4720"' <<<"$out" || fail "connection line: $out"
[ "$(head -1 <<<"$out" | cut -d' ' -f1)" = printer ] || fail "printers come first: $out"
"$winsim" show "$work/none" >/dev/null 2>&1 && fail "a folder without a machine is an error"
echo "show: all checks passed"
