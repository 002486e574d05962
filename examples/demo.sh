#!/usr/bin/env bash
# The demo: a fresh simulated NT 4.0 machine and a fresh Windows 98 machine, a typical
# installation on each in the order a setup script makes its calls, and what it changed; then
# PWUNINST scrub with the desktop utility still running, the next start of Windows, and what is
# left of what the uninstall script lists. Then the second example, the KV Vela 2610 label
# printer, checked by pwcheck, installed and removed on Windows NT 4.0, 95 and 98.
# The machines stay in DEMO_DIR (build/demo), which the next demo replaces.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winsim=${WINSIM:?WINSIM must name the winsim command}
pwcheck=${PWCHECK:-$(dirname "$winsim")/pwcheck}
work=${DEMO_DIR:-$(dirname "$here")/build/demo}
# Only a folder an earlier demo made (it holds .demo) is replaced, never another one.
if [ -d "$work" ] && [ ! -e "$work/.demo" ] && [ -n "$(ls -A "$work")" ]; then
  echo "demo: $work holds files of no demo; name an empty or new folder in DEMO_DIR" >&2
  exit 2
fi
rm -rf "$work"
mkdir -p "$work"
touch "$work/.demo"
# shellcheck source=stage.sh
. "$here/stage.sh"
# shellcheck source=vela/stage.sh
. "$here/vela/stage.sh"

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

  cp -r "$machine" "$work/$os-installed"
  if [ "$os" = nt4 ]; then
    # The wizard as the user sees it, on a copy: the welcome page, Next, two rows checked, Exit.
    section "$os: pictures of the wizard (in $work/pictures)"
    cp -r "$machine" "$work/$os-pictures"
    "$winsim" uninstall "$work/$os-pictures" --do Next --do 'check 1' --do 'check 3' --do Exit \
      --screenshots "$work/pictures/wizard"
  fi
  stage_running_utility "$machine"
  section "$os: PWUNINST scrub (the user does not restart at once)"
  "$winsim" uninstall "$machine" scrub --answer cancel --screenshots "$work/pictures/scrub-$os"
  if [ "$os" = nt4 ]; then
    shots="$work/pictures"
    cp "$(ls "$shots"/wizard/*-kv-pellora-4720-uninstaller.png | head -1)" "$shots/welcome.png"
    cp "$(ls "$shots"/wizard/*-after-check-3.png | tail -1)" "$shots/selection.png"
    cp "$(ls "$shots"/scrub-nt4/*.png | head -1)" "$shots/startup.png"
    ls "$shots"/*.png
  fi
  section "$os: the next start of Windows"
  "$winsim" reboot "$machine"
  # The port monitor, the print processor and, on NT, the driver for Windows 95/98 clients stay:
  # the uninstall script names none of them.
  section "$os: what the spooler holds now"
  "$winsim" show "$machine"
  section "$os: what is left of what the uninstall script lists"
  "$here/uninstall/leftovers.sh" "$winsim" "$machine" "$here/uninstall/UNINST-$os.INI"
done

section "The KV Vela 2610's scripts, checked by pwcheck"
"$pwcheck" "$here/vela/VELA2610.INF" "$here/vela/KVREG.INI" "$here"/vela/UNINST-*.INI \
  "$here"/vela/install-*.calls
section "A faulty uninstall script, checked by pwcheck (exit status 2: errors)"
"$pwcheck" "$here/faulty/UNINST-FAULTY.INI" || true

for os in nt4 win95 win98; do
  machine="$work/vela-$os"
  section "A fresh $os machine: the KV Vela 2610"
  "$winsim" new "$machine" --os "$os"
  stage_vela "$machine" "$os"
  "$winsim" run "$machine" "$here/vela/install-$os.calls"
  section "$os: the KV Vela 2610 in the spooler"
  "$winsim" show "$machine" | grep 'Vela'
  cp -r "$machine" "$work/vela-$os-installed"
  if [ "$os" = nt4 ]; then
    section "$os: what PWUNINST scrub would change (a preview: the machine stays)"
    "$winsim" uninstall "$machine" scrub --answer cancel --preview
  fi
  section "$os: PWUNINST scrub, then the next start"
  "$winsim" uninstall "$machine" scrub --answer cancel
  "$winsim" reboot "$machine"
  section "$os: what is left of what the uninstall script lists"
  if [ "$os" = nt4 ]; then script=UNINST-nt4.INI; else script=UNINST-win9x.INI; fi
  "$here/uninstall/leftovers.sh" "$winsim" "$machine" "$here/vela/$script"
done

section "The machines stay in $work"
echo "Each OS-installed folder is the machine before its uninstall; compare, for example:"
echo "  winsim diff $work/vela-nt4-installed $work/vela-nt4"
echo "  winsim show $work/nt4"
