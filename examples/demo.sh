#!/usr/bin/env bash
# The demo: a fresh simulated NT 4.0 machine and a fresh Windows 98 machine, a typical
# installation on each, and what it changed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winsim=${WINSIM:?WINSIM must name the winsim command}
work=$(mktemp -d /tmp/pwsetup-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT

section() { printf '\n=== %s\n' "$*"; }

for os in nt4 win98; do
  machine="$work/$os"
  section "A fresh $os machine"
  "$winsim" new "$machine" --os "$os"
  # The setup engine has copied its support files to C:\KVSETUP, and the driver, monitor and
  # print processor files where the spooler looks for them, before it calls the library.
  mkdir -p "$machine/drive_c/KVSETUP"
  cp "$here/setup/SETUP.INI" "$here/setup/KVREG.INI" "$here/printer/KVP4720.INF" "$machine/drive_c/KVSETUP/"
  cp -r "$here/printer/$os/." "$machine/drive_c/"

  section "$os: the start of the installation (install-start-$os.calls)"
  "$winsim" run "$machine" "$here/install-start-$os.calls"
  section "$os: the printer (install-printer-$os.calls)"
  "$winsim" run "$machine" "$here/install-printer-$os.calls"

  section "$os: what the spooler holds"
  "$winsim" show "$machine"
  section "$os: the registry keys the installation wrote"
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex'
  "$winsim" reg export "$machine" 'HKEY_CURRENT_USER\Software\Norvex' | tail -n +3
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs' | tail -n +3
done
