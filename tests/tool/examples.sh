#!/usr/bin/env bash
# The shipped examples run on fresh machines with every expect holding, and leave what the
# demo says they leave.
set -euo pipefail
winsim=$1 src=$2
# The demo's machines go to a folder of the test's own, never the source tree's build/demo.
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-examples.XXXXXX")
trap 'rm -rf "$work"' EXIT
out=$(WINSIM="$winsim" DEMO_DIR="$work/demo" bash "$src/examples/demo.sh") || {
  printf '%s\n' "$out"
  echo "FAIL: the demo failed"
  exit 1
}
check() { grep -q -- "$1" <<<"$out" || { echo "FAIL: the demo shows no $2"; exit 1; }; }
check '"Version"="1.00.5.020"' "registry entry from the INI section"
check '"Path"="C:\\\\Program Files\\\\Norvex\\\\KV4720"' "expanded placeholder"
check '"C:\\\\WINDOWS\\\\SYSTEM32\\\\KVLMON.DLL"=dword:00000002' "NT shared-DLL count"
check '"C:\\\\WINDOWS\\\\SYSTEM\\\\KVLMON.DLL"=dword:00000002' "98 shared-DLL count"
check '^\[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KVPECP00\]' "ECP driver service on NT"
check '^\[HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\NorvexKV_Pellora4720\\BIOS&\*PNP0400&0D\]' "Plug-and-Play key on 98"
check '^;evice=C:\\OLDKV\\KVPAR.VXD' "commented-out device line"
check '^KV Pellora 4720/Utilities/Status Monitor.lnk' "shortcut moved into its subfolder"
check '^printer "KV Pellora 4720" port "LPT1:"' "installed printer"
check '^  dialog\[1\] = "D:\\t    1.22 Mb\\t 1000.00 Mb"' "drive list row after the drive change"
check '^  printer = "\\\\PRINTSRV\\KV4720"' "network printer's name from the browser"
check '^  file dialog "Locate the printer.s setup file" (All Files|\*\.\*, initial "")' "file dialog"
# Two KV Pellora 4720 removals (NT 4.0, 98) and three KV Vela 2610 removals (NT 4.0, 95, 98).
[ "$(grep -c '^nothing the script lists is left$' <<<"$out")" = 5 ] || { echo "FAIL: the scrub left something"; exit 1; }
check '^pending: deleted C:\\Program Files\\Norvex\\KV4720\\KVDESK.EXE' "NT's delayed deletion of the file in use"
check '^wininit: deleted C:\\PROGRA~1\\NORVEX\\KV4720\\KVDESK.EXE' "98's WININIT.INI deletion of the file in use"
if grep -q '"Unused"' <<<"$out"; then echo "FAIL: an undefined placeholder must skip its entry"; exit 1; fi
# The KV Vela 2610 on NT 4.0, 95 and 98: its printer, its program group's two subfolders, and
# after the scrub and the next start neither the group nor anything of it in the spooler.
[ "$(grep -c '^printer "KV Vela 2610" port "LPT2:" driver "KV Vela 2610" processor "WinPrint"' <<<"$out")" = 3 ] \
  || { echo "FAIL: the Vela's printer on each system"; exit 1; }
# shellcheck source=../../examples/stage.sh
. "$src/examples/stage.sh"
for os in nt4 win95 win98; do
  installed="$(programs_dir "$work/demo/vela-$os-installed" "$os")/KV Vela 2610"
  [ -f "$installed/Utilities/Queue Viewer.lnk" ] && [ -f "$installed/Documentation/Manual.lnk" ] \
    || { echo "FAIL: $os: the Vela's shortcuts in their subfolders"; exit 1; }
  [ -e "$(programs_dir "$work/demo/vela-$os" "$os")/KV Vela 2610" ] \
    && { echo "FAIL: $os: the Vela's program group stays"; exit 1; }
  if grep -q 'Vela' <<<"$("$winsim" show "$work/demo/vela-$os")"; then
    echo "FAIL: $os: the spooler keeps the Vela's printer or driver"; exit 1
  fi
done
echo "examples: all checks passed"
