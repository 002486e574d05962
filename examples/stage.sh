# What the example installation and uninstallation find on a machine before they run, shared by
# the demo and the failure sweep (tools/sweep.sh). Sourced; `here` is the examples folder.

# The Start Menu's Programs folder where setup makes the program group: on NT 4.0 the one all
# users share (an administrator's setup makes its groups there), on 95/98 the only one.
programs_dir() { # MACHINE OS
  if [ "$2" = nt4 ]; then echo "$1/drive_c/WINDOWS/Profiles/All Users/Start Menu/Programs"
  else echo "$1/drive_c/WINDOWS/Start Menu/Programs"; fi
}

# The printer's files where the setup engine copies them: the driver's from the examples, the
# monitors and the print processor, which the spooler loads, built (from BIN).
stage_printer_files() { # BIN MACHINE-DRIVE-C OS
  local bin=$1 drive=$2 os=$3 sys procs
  cp -r "$here/printer/$os/." "$drive/"
  if [ "$os" = nt4 ]; then sys=$drive/WINDOWS/SYSTEM32 procs=$sys/spool/prtprocs/w32x86
  else sys=$drive/WINDOWS/SYSTEM procs=$sys; fi
  mkdir -p "$procs"
  cp "$bin/kvlmon.dll" "$sys/KVLMON.DLL"
  cp "$bin/kvpmon.dll" "$sys/KVPMON.DLL"
  cp "$bin/kvproc.dll" "$procs/KVPROC.DLL"
}

# A fresh machine as the setup engine leaves it before it calls the library.
stage_install() { # WINSIM MACHINE OS
  local winsim=$1 machine=$2 os=$3 bin target programs file link
  bin=$(dirname "$winsim")
  "$winsim" new "$machine" --os "$os"
  # The KV Pellora 4720 is attached to LPT1: and answers with its device ID.
  sed -i 's/^\[devices\]\r$/[devices]\r\nLPT1:=MFG:Norvex;MDL:KV Pellora 4720A;CMD:PCL,PJL;\r/' "$machine/machine.ini"
  # The setup engine has copied its support files to C:\KVSETUP, and the driver, monitor and
  # print processor files where the spooler looks for them, before it calls the library; its
  # shortcut step has made the program group.
  mkdir -p "$machine/drive_c/KVSETUP"
  cp "$here/setup/SETUP.INI" "$here/setup/KVREG.INI" "$here/printer/KVP4720.INF" \
     "$bin/kvpdscvr.dll" "$bin/pwlink32.dll" "$machine/drive_c/KVSETUP/"
  stage_printer_files "$bin" "$machine/drive_c" "$os"
  # The product's own files, and the uninstall script the setup script writes for this system.
  target="$machine/drive_c/Program Files/Norvex/KV4720"
  mkdir -p "$target/FONTS"
  for file in KVDESK.EXE KVSTAT.EXE KVDESK.HLP KVDESK.GID README.TXT FONTS/KVSANS.FON FONTS/KVSERIF.FON; do
    echo "$file" >"$target/$file"
  done
  printf '[Status]\r\nLastPort=LPT1:\r\n' >"$machine/drive_c/WINDOWS/KVDESK.INI"
  cp "$here/uninstall/UNINST-$os.INI" "$target/UNINST.INI"
  programs=$(programs_dir "$machine" "$os")
  mkdir -p "$programs/KV Pellora 4720"
  for link in "KV Pellora 4720 Help" "Status Monitor" "Font Manager" "Readme"; do
    echo "shortcut" >"$programs/KV Pellora 4720/$link.lnk"
  done
  # A second hard disk, D:, where the user may put the utilities (512-byte sectors, 8 per
  # cluster, 256000 clusters free of 500000); the network has the product's printer shared.
  mkdir -p "$machine/drive_d"
  sed -i 's/^\[drives\]\r$/[drives]\r\nD=512,8,256000,500000\r/' "$machine/machine.ini"
  printf '[network]\r\n\\\\PRINTSRV\\KV4720=KV Pellora 4720\r\n' >>"$machine/machine.ini"
  if [ "$os" = win98 ]; then
    # An older installation left its port driver in a folder of its own.
    sed -i 's/^device=\*vshare\r$/device=*vshare\r\ndevice=C:\\OLDKV\\KVPAR.VXD\r/' "$machine/drive_c/WINDOWS/SYSTEM.INI"
  fi
}

# The installation's steps, in the order a setup script makes its calls.
install_steps="start components port printer finish"

# The desktop utility is running: its window is open and its program file in use.
stage_running_utility() { # MACHINE
  printf '[windows]\r\nPW_DocumentAssistantClass=KV Pellora 4720 Desk\r\n' >>"$1/machine.ini"
  sed -i 's/^\[in-use\]\r$/[in-use]\r\nC:\\Program Files\\Norvex\\KV4720\\KVDESK.EXE=\r/' "$1/machine.ini"
}
