#!/usr/bin/env bash
# The second example, the KV Vela 2610: installed on Windows NT 4.0, 95 and 98 by its call
# script (printer, registry entries, shared count, a program group with two subfolders), then
# removed whole by PWUNINST's scrub run and the next start.
set -uo pipefail
winsim=$1 src=$2
work=$(mktemp -d /tmp/winsim-vela.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
here="$src/examples"
# shellcheck source=../../examples/vela/stage.sh
. "$here/vela/stage.sh"

for os in nt4 win95 win98; do
  m="$work/$os"
  "$winsim" new "$m" --os "$os" >/dev/null || fail "new $os"
  stage_vela "$m" "$os"
  out=$("$winsim" run "$m" "$here/vela/install-$os.calls") || fail "$os install: $out"
  grep -q '^printer "KV Vela 2610" port "LPT2:" driver "KV Vela 2610" processor "WinPrint"' \
    <<<"$("$winsim" show "$m")" || fail "$os: the printer"
  if [ "$os" = nt4 ]; then group="$m/drive_c/WINDOWS/Profiles/All Users/Start Menu/Programs/KV Vela 2610"
  else group="$m/drive_c/WINDOWS/Start Menu/Programs/KV Vela 2610"; fi
  [ -f "$group/Utilities/Queue Viewer.lnk" ] && [ -f "$group/Documentation/Manual.lnk" ] \
    || fail "$os: the shortcuts in their subfolders"
  out=$("$winsim" uninstall "$m" scrub --answer cancel) || fail "$os uninstall: $out"
  "$winsim" reboot "$m" >/dev/null || fail "$os reboot"
  if [ "$os" = nt4 ]; then script=UNINST-nt4.INI; else script=UNINST-win9x.INI; fi
  out=$("$here/uninstall/leftovers.sh" "$winsim" "$m" "$here/vela/$script") || fail "$os leftovers: $out"
  [ -e "$group" ] && fail "$os: the program group stays"
  "$winsim" show "$m" | grep -q 'Vela' && fail "$os: the spooler keeps the printer or driver"
  "$winsim" reg export "$m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex\Vela' >/dev/null 2>&1 \
    && fail "$os: the product's key stays"
done
echo "vela: all checks passed"
