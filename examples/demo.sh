#!/usr/bin/env bash
# The demo: a fresh simulated NT 4.0 machine and a fresh Windows 98 machine, a typical
# installation on each in the order a setup script makes its calls, and what it changed; then
# PWUNINST scrub with the desktop utility still running, the next start of Windows, and what is
# left of what the uninstall script lists.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winsim=${WINSIM:?WINSIM must name the winsim command}
bin=$(dirname "$winsim")
work=$(mktemp -d /tmp/pwsetup-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT

section() { printf '\n=== %s\n' "$*"; }
# The [386Enh] section of a machine's SYSTEM.INI.
enh386() { tr -d '\r' <"$1/drive_c/WINDOWS/SYSTEM.INI" | sed -n '/^\[386Enh\]/,/^$/p'; }

for os in nt4 win98; do
  machine="$work/$os"
  section "A fresh $os machine"
  "$winsim" new "$machine" --os "$os"
  # The KV Pellora 4720 is attached to LPT1: and answers with its device ID.
  sed -i 's/^\[devices\]\r$/[devices]\r\nLPT1:=MFG:Norvex;MDL:KV Pellora 4720A;CMD:PCL,PJL;\r/' "$machine/machine.ini"
  # The setup engine has copied its support files to C:\KVSETUP, and the driver, monitor and
  # print processor files where the spooler looks for them, before it calls the library; its
  # shortcut step has made the program group.
  mkdir -p "$machine/drive_c/KVSETUP"
  cp "$here/setup/SETUP.INI" "$here/setup/KVREG.INI" "$here/printer/KVP4720.INF" \
     "$bin/kvpdscvr.dll" "$bin/pwlink32.dll" "$machine/drive_c/KVSETUP/"
  cp -r "$here/printer/$os/." "$machine/drive_c/"
  # The product's own files, and the uninstall script the setup script writes for this system.
  target="$machine/drive_c/Program Files/Norvex/KV4720"
  mkdir -p "$target/FONTS"
  for file in KVDESK.EXE KVSTAT.EXE KVDESK.HLP KVDESK.GID README.TXT FONTS/KVSANS.FON FONTS/KVSERIF.FON; do
    echo "$file" >"$target/$file"
  done
  printf '[Status]\r\nLastPort=LPT1:\r\n' >"$machine/drive_c/WINDOWS/KVDESK.INI"
  cp "$here/uninstall/UNINST-$os.INI" "$target/UNINST.INI"
  if [ "$os" = nt4 ]; then programs="$machine/drive_c/WINDOWS/Profiles/Administrator/Start Menu/Programs"
  else programs="$machine/drive_c/WINDOWS/Start Menu/Programs"; fi
  mkdir -p "$programs/KV Pellora 4720"
  for link in "KV Pellora 4720 Help" "Status Monitor" "Font Manager" "Readme"; do
    echo "shortcut" >"$programs/KV Pellora 4720/$link.lnk"
  done
  if [ "$os" = win98 ]; then
    # An older installation left its port driver in a folder of its own.
    sed -i 's/^device=\*vshare\r$/device=*vshare\r\ndevice=C:\\OLDKV\\KVPAR.VXD\r/' "$machine/drive_c/WINDOWS/SYSTEM.INI"
    section "$os: SYSTEM.INI's device lines before"
    enh386 "$machine"
  fi

  for step in start port printer finish; do
    section "$os: install-$step-$os.calls"
    "$winsim" run "$machine" "$here/install-$step-$os.calls"
  done

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

  # The desktop utility is running: its window is open and its program file in use.
  printf '[windows]\r\nPW_DocumentAssistantClass=KV Pellora 4720 Desk\r\n' >>"$machine/machine.ini"
  sed -i 's/^\[in-use\]\r$/[in-use]\r\nC:\\Program Files\\Norvex\\KV4720\\KVDESK.EXE=\r/' "$machine/machine.ini"
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
