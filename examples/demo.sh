#!/usr/bin/env bash
# The demo: a fresh simulated NT 4.0 machine and a fresh Windows 98 machine, the start of a
# typical installation on each, and the registry keys it wrote.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winsim=${WINSIM:?WINSIM must name the winsim command}
work=$(mktemp -d /tmp/pwsetup-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT

for os in nt4 win98; do
  machine="$work/$os"
  echo "=== A fresh $os machine"
  "$winsim" new "$machine" --os "$os"
  # The setup engine has copied its support files to C:\KVSETUP before it calls the library.
  mkdir -p "$machine/drive_c/KVSETUP"
  cp "$here/setup/SETUP.INI" "$here/setup/KVREG.INI" "$machine/drive_c/KVSETUP/"
  echo
  echo "=== The calls of install-start-$os.calls"
  "$winsim" run "$machine" "$here/install-start-$os.calls"
  echo
  echo "=== What they wrote to the registry"
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex'
  "$winsim" reg export "$machine" 'HKEY_CURRENT_USER\Software\Norvex' | tail -n +2
  "$winsim" reg export "$machine" 'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs' | tail -n +2
done
