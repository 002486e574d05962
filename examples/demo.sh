#!/usr/bin/env bash
# The demo: a fresh simulated NT 4.0 machine and a fresh Windows 98 machine, a typical
# installation on each in the order a setup script makes its calls, and what it changed; then
# PWUNINST scrub with the desktop utility still running, the next start of Windows, and what is
# left of what the uninstall script lists.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winsim=${WINSIM:?WINSIM must name the winsim command}
work=$(mktemp -d /tmp/pwsetup-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=stage.sh
. "$here/stage.sh"

section() { printf '\n=== %s\n' "$*"; }
# The [386Enh] section of a machine's SYSTEM.INI.
enh386() { tr -d '\r' <"$1/drive_c/WINDOWS/SYSTEM.INI" | sed -n '/^\[386Enh\]/,/^$/p'; }

for os in nt4 win98; do
  machine="$work/$os"
  section "A fresh $os machine"
  stage_install "$winsim" "$machine" "$os"
  programs=$(programs_dir "$machine" "$os")
  if [ "$os" = win98 ]; then
    section "$os: SYSTEM.INI's device lines before"
    enh386 "$machine"
  fi

  for step in $install_steps; do
    section "$os: install-$step-$os.calls"
    "$winsim" run "$machine" "$here/install-$step-$os.calls"
  done

  if [ "$os" = nt4 ]; then
    section "$os: browse-$os.calls (the user picks a file and a network printer)"
    "$winsim" run "$machine" "$here/browse-$os.calls" --file 'C:\KVSETUP\KVP4720.INF' \
      --printer '\\PRINTSRV\KV4720'
  fi

  section "$os: what the spooler holds"
  "$winsim" show "$machine"
  section "$os: the product's registry tree"
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex'
  "$winsim" reg export "$machine" 'HKEY_CURRENT_USER\Software\Norvex' | tail -n +3
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs' | tail -n +3
  if [ "$os" = nt4 ]; then
    section "$os: the ECP port driver's keys"
    "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\KVPECP00'
    "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\Root\LEGACY_KVPECP00' | tail -n +3
  else
    section "$os: the printer's Plug-and-Play keys"
    "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\Enum\LPTENUM'
    section "$os: SYSTEM.INI's device lines after"
    enh386 "$machine"
  fi
  section "$os: the program group"
  (cd "$programs" && find "KV Pellora 4720" | sort)

  stage_running_utility "$machine"
  section "$os: PWUNINST scrub (the user does not restart at once)"
  "$winsim" uninstall "$machine" scrub --answer cancel
  section "$os: the next start of Windows"
  "$winsim" reboot "$machine"
  # The port monitor, the print processor and, on NT, the driver for Windows 95/98 clients stay:
  # the uninstall script names none of them.
  section "$os: what the spooler holds now"
  "$winsim" show "$machine"
  section "$os: what is left of what the uninstall script lists"
  "$here/uninstall/leftovers.sh" "$winsim" "$machine" "$here/uninstall/UNINST-$os.INI"
done
