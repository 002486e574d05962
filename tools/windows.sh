#!/usr/bin/env bash
# The real Windows deliverables under Wine against winsim (`./run test-windows`).
#   tools/windows.sh WINSIM WINDOWS-BIN TIER WINE
# TIER is i686 (the shipped 32-bit files under Wine's 32-bit loader) or x86_64 (their 64-bit
# twins, where the kernel runs no 32-bit code); WINE is the Wine loader to run them with.
# A fresh Wine prefix reporting Windows NT 4.0 and a fresh winsim NT 4.0 machine are staged
# alike (examples/stage.sh); each step of the example installation runs through PWCALLS under
# Wine and through `winsim run`, and the calls' results and the product's registry keys must be
# the same on both, but for the differences tools/windows-known.txt lists with their reasons.
# Then PWUNINST runs under Xvfb in an 800 x 600 Wine desktop: its welcome page, Next, and a
# scrub run; the screenshots stay in build/windows/.
set -euo pipefail
winsim=$1 bin=$2 tier=$3 wine=$4
here=$(cd "$(dirname "$0")/../examples" && pwd)
top=$(dirname "$here")
known=$top/tools/windows-known.txt
out=$top/build/windows
# shellcheck source=../examples/stage.sh
. "$here/stage.sh"
started=$(date +%s)

rm -rf "$out"
mkdir -p "$out/winsim" "$out/wine" "$out/screens"
export WINEPREFIX=$out/prefix WINEDEBUG=-all
if [ "$tier" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
echo "windows: $tier deliverables under $wine ($WINEARCH prefix)"

# ---- a fresh prefix reporting Windows NT 4.0 -------------------------------------------------
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine' /v Version /d nt40 /f >/dev/null 2>&1
drive=$WINEPREFIX/drive_c
common=$drive/ProgramData/Microsoft/Windows/Start\ Menu/Programs
mkdir -p "$common" "$drive/windows/Profiles/All Users/Start Menu"
ln -sfn "$common" "$drive/windows/Profiles/All Users/Start Menu/Programs"

# ---- the same installation on both ------------------------------------------------------------
machine=$out/winsim/machine
stage_install "$winsim" "$machine" nt4 >/dev/null
# The Wine drive as the setup engine leaves it, from the Windows builds.
mkdir -p "$drive/KVSETUP"
cp "$here/setup/SETUP.INI" "$here/setup/KVREG.INI" "$here/printer/KVP4720.INF" \
   "$bin/kvpdscvr.dll" "$bin/pwlink32.dll" "$bin/PWSETUP.DLL" "$bin/PWCALLS.EXE" \
   "$bin/PWUNINST.EXE" "$drive/KVSETUP/"
# Wine's folders are lower case; the examples name NT 4.0's, which Wine finds whatever the case.
stage_printer_files "$bin" "$out/stage" nt4
cp -r "$out/stage/WINDOWS/SYSTEM32/." "$drive/windows/system32/"
target="$drive/Program Files/Norvex/KV4720"
mkdir -p "$target/FONTS"
(cd "$machine/drive_c/Program Files/Norvex/KV4720" && cp -r . "$target/")
cp "$here/setup/../uninstall/UNINST-nt4.INI" "$target/UNINST.INI"
cp "$machine/drive_c/WINDOWS/KVDESK.INI" "$drive/windows/"
cp -r "$(programs_dir "$machine" nt4)/KV Pellora 4720" "$common/"

failed=0 calls=0 values=0 knownSeen=0
# The lines of one side that the other lacks, each checked against the known differences.
check_diff() { # WHAT FILE-WINSIM FILE-WINE
  local what=$1 line
  diff "$2" "$3" | grep '^[<>]' >"$out/$what.diff" || true
  while IFS= read -r line; do
    # The line through the environment: awk's -v would take its backslashes as escapes.
    if LINE=$line awk -v tier="$tier" -v what="$what" '
         /^#/ || NF == 0 { next }
         { t = $1; w = $2; re = $0; sub(/^[^ \t]+[ \t]+[^ \t]+[ \t]+/, "", re)
           if ((t == "all" || t == tier) && (w == what || w == "*") && ENVIRON["LINE"] ~ re) found = 1 }
         END { exit !found }' "$known"; then
      knownSeen=$((knownSeen + 1))
    else
      echo "windows: $what differs: $line"
      failed=1
    fi
  done <"$out/$what.diff"
}

for step in $install_steps; do
  "$winsim" run "$machine" "$here/install-$step-nt4.calls" >"$out/winsim/$step.out" 2>&1 || true
  cp "$here/install-$step-nt4.calls" "$drive/KVSETUP/"
  (cd "$drive/KVSETUP" && "$wine" PWCALLS.EXE "C:\\KVSETUP\\install-$step-nt4.calls") 2>/dev/null |
    tr -d '\r' >"$out/wine/$step.out" || true
  calls=$((calls + $(grep -c '^DLL_' "$out/winsim/$step.out" || true)))
  check_diff "$step" "$out/winsim/$step.out" "$out/wine/$step.out"
done

# ---- the product's registry keys --------------------------------------------------------------
# One line a value, "KEY\tNAME=DATA", from regedit's text of either version: continued lines
# joined, the UTF-16 of version 5's hex(2) and hex(7) data made single bytes.
normalise() {
  tr -d '\r' | awk '
    { sub(/^ +/, "") }
    /\\$/ { sub(/\\$/, ""); buf = buf $0; next }
    { line = buf $0; buf = "" }
    line ~ /^\[/ { key = line; next }
    line ~ /^"/ || line ~ /^@=/ {
      if (unicode && match(line, /=hex\([27]\):/)) {
        head = substr(line, 1, RSTART + RLENGTH - 1); n = split(substr(line, RSTART + RLENGTH), b, ",")
        data = ""; for (i = 1; i <= n; i += 2) data = data (data == "" ? "" : ",") b[i]
        line = head data
      }
      print key "\t" line }
    /^Windows Registry Editor Version 5/ { unicode = 1 }'
}
keys=('HKEY_LOCAL_MACHINE\SOFTWARE\Norvex' 'HKEY_CURRENT_USER\Software\Norvex'
      'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\KVPECP00'
      'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs'
      'HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\Windows')
: >"$out/winsim/registry.txt"
: >"$out/wine/registry.txt"
for key in "${keys[@]}"; do
  "$winsim" reg export "$machine" "$key" 2>/dev/null | normalise >>"$out/winsim/registry.txt" || true
  rm -f "$drive/KVSETUP/key.reg"
  "$wine" regedit /E 'C:\KVSETUP\key.reg' "$key" >/dev/null 2>&1 || true
  if [ -f "$drive/KVSETUP/key.reg" ]; then
    iconv -f UTF-16 -t UTF-8 "$drive/KVSETUP/key.reg" | normalise >>"$out/wine/registry.txt"
  fi
done
# Only the product's own values of the shared keys.
for side in winsim wine; do
  grep -E 'Norvex|KVPECP00|KV|\\Windows	"load"=' "$out/$side/registry.txt" | sort >"$out/$side/registry.sorted" || true
done
values=$(wc -l <"$out/winsim/registry.sorted")
check_diff registry "$out/winsim/registry.sorted" "$out/wine/registry.sorted"

# ---- PWUNINST under Xvfb ---------------------------------------------------------------------
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x16 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; "${WINESERVER:-wineserver}" -k 2>/dev/null || true' EXIT
sleep 2
shot() { DISPLAY=$display import -window root "$out/screens/$1.png" 2>/dev/null || echo "windows: no screenshot $1"; }
(cd "$drive/KVSETUP" && DISPLAY=$display "$wine" explorer /desktop=pwuninst,800x600 PWUNINST.EXE \
   >/dev/null 2>&1 &)
sleep 40
shot 1-welcome
DISPLAY=$display xdotool key Return 2>/dev/null || true # Next
sleep 5
shot 2-after-next
"$wine" wineserver -k >/dev/null 2>&1 || true
sleep 2
# The scrub run; each message box it shows is answered with its default button.
(cd "$drive/KVSETUP" && DISPLAY=$display timeout 90 "$wine" explorer /desktop=pwuninst,800x600 \
   PWUNINST.EXE scrub >/dev/null 2>&1 &)
for n in 1 2 3; do
  sleep 15
  shot "3-scrub-$n"
  DISPLAY=$display xdotool key Return 2>/dev/null || true
done
sleep 5
"$wine" regedit /E 'C:\KVSETUP\after.reg' 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex' >/dev/null 2>&1 || true
if [ -f "$drive/KVSETUP/after.reg" ]; then
  echo "windows: after the scrub, HKLM\\SOFTWARE\\Norvex still holds $(iconv -f UTF-16 -t UTF-8 "$drive/KVSETUP/after.reg" | grep -c '^\[') keys"
else
  echo "windows: after the scrub, HKLM\\SOFTWARE\\Norvex is gone"
fi

echo "windows: $calls calls and $values registry values compared, $knownSeen known differences" \
     "seen, in $(( $(date +%s) - started )) s; screenshots in $out/screens"
exit $failed
