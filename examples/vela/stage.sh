# What the KV Vela 2610's setup script finds on a machine before it calls the library: the
# driver files where the spooler looks for them, the product's files, its support files and the
# program group the setup engine made. Sourced by the demo; `here` is the examples folder.

# stage_vela MACHINE OS: OS is nt4, win95 or win98.
stage_vela() {
  local machine=$1 os=$2 drivers system programs target file link
  if [ "$os" = nt4 ]; then
    system="$machine/drive_c/WINDOWS/SYSTEM32"
    drivers="$system/spool/drivers/w32x86"
    # NT keeps a group for every user in All Users ("Common Programs").
    programs="$machine/drive_c/WINDOWS/Profiles/All Users/Start Menu/Programs"
    for file in VELA2610.DLL VELA2610.DAT VELAUI.DLL VELA2610.HLP VELAFNT.DAT; do
      mkdir -p "$drivers" && echo "KV Vela 2610 $file" >"$drivers/$file"
    done
  else
    system="$machine/drive_c/WINDOWS/SYSTEM"
    programs="$machine/drive_c/WINDOWS/Start Menu/Programs"
    for file in VELA2610.DRV VELA2610.HLP VELAFNT.DAT; do
      echo "KV Vela 2610 $file" >"$system/$file"
    done
  fi
  echo "KV common library" >"$system/KVCOMMON.DLL"
  mkdir -p "$machine/drive_c/VELASETUP"
  cp "$here/vela/VELA2610.INF" "$here/vela/SETUP.INI" "$here/vela/KVREG.INI" "$machine/drive_c/VELASETUP/"
  target="$machine/drive_c/Program Files/Norvex/Vela"
  mkdir -p "$target/LABELS"
  for file in VELADES.EXE VELAQ.EXE VELADES.HLP MANUAL.TXT RELNOTES.TXT LABELS/SAMPLE.LBL; do
    echo "$file" >"$target/$file"
  done
  printf '[Designer]\r\nLastLabel=SAMPLE.LBL\r\n' >"$machine/drive_c/WINDOWS/VELA.INI"
  if [ "$os" = nt4 ]; then cp "$here/vela/UNINST-nt4.INI" "$target/UNINST.INI"
  else cp "$here/vela/UNINST-win9x.INI" "$target/UNINST.INI"; fi
  mkdir -p "$programs/KV Vela 2610"
  for link in "Readme" "Label Designer" "Queue Viewer" "Manual" "Release Notes"; do
    echo "shortcut" >"$programs/KV Vela 2610/$link.lnk"
  done
}
