#!/usr/bin/env bash
# The real Windows deliverables under Wine against winsim (`./run test-windows`).
#   tools/windows.sh WINSIM WINDOWS-BIN TIER WINE
# TIER is i686 (the shipped 32-bit files under Wine's 32-bit loader) or x86_64 (their 64-bit
# twins, where the kernel runs no 32-bit code); WINE is the Wine loader to run them with.
# A fresh Wine prefix reporting Windows NT 4.0 and a fresh winsim NT 4.0 machine are staged
# alike (examples/stage.sh); each step of the example installation runs through PWCALLS under
# Wine and through `winsim run`, and the calls' results and the product's registry keys must be
# the same on both, but for the differences tools/windows-known.txt lists with their reasons.
# Then PWUNINST runs on an 800 x 600 X screen (Xvfb): its welcome page, Next and the selection
# page, and a scrub run, on Wine and on winsim alike; what the scrub leaves of the product's
# registry keys and files must be the same. The screenshots stay in build/windows/screens.
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
  local what=$1 line entry
  diff "$2" "$3" | grep '^[<>]' >"$out/$what.diff" || true
  while IFS= read -r line; do
    # The line through the environment: awk's -v would take its backslashes as escapes.
    # The number of the entry that explains it, kept to find entries that explain nothing.
    if entry=$(LINE=$line awk -v tier="$tier" -v what="$what" '
         /^#/ || NF == 0 { next }
         { t = $1; w = $2; re = $0; sub(/^[^ \t]+[ \t]+[^ \t]+[ \t]+/, "", re)
           if ((t == "all" || t == tier) && (what ~ ("^(" w ")$") || w == "*") && ENVIRON["LINE"] ~ re) {
             print NR; found = 1; exit } }
         END { exit !found }' "$known"); then
      echo "$entry" >>"$out/known-seen"
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


# ---- the product's registry keys and files ----------------------------------------------------
# One line a value, "KEY\tNAME=DATA", from regedit's text of either version: continued lines
# joined, the UTF-16 of version 5's hex(2) and hex(7) data made single bytes. With KEYS=1 each
# key has a line of its own too ("KEY\t[]"), so that an empty key left behind shows.
normalise() {
  tr -d '\r' | awk -v keys="${KEYS:-0}" '
    { sub(/^ +/, "") }
    /\\$/ { sub(/\\$/, ""); buf = buf $0; next }
    { line = buf $0; buf = "" }
    line ~ /^\[/ { key = line; if (keys) print key "\t[]"; next }
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
# Only the product's own values (and keys) of the compared keys, sorted, into OUT/SIDE/NAME.
export_registry() { # NAME
  local key side
  : >"$out/winsim/$1.txt"
  : >"$out/wine/$1.txt"
  for key in "${keys[@]}"; do
    "$winsim" reg export "$machine" "$key" 2>/dev/null | normalise >>"$out/winsim/$1.txt" || true
    rm -f "$drive/KVSETUP/key.reg"
    "$wine" regedit /E 'C:\KVSETUP\key.reg' "$key" >/dev/null 2>&1 || true
    if [ -f "$drive/KVSETUP/key.reg" ]; then
      iconv -f UTF-16 -t UTF-8 "$drive/KVSETUP/key.reg" | normalise >>"$out/wine/$1.txt"
    fi
  done
  for side in winsim wine; do
    grep -E 'Norvex|KVPECP00|KV|\\Windows	"load"=' "$out/$side/$1.txt" | sort >"$out/$side/$1.sorted" || true
  done
}
# The product's files on drive C, one path a line in lower case (Windows compares names so):
# the common Programs folder as %programs%, the setup engine's C:\KVSETUP left out.
product_files() { # DRIVE-C PROGRAMS-FOLDER (relative to the drive)
  (cd "$1" && find . -type f | sed 's|^\./||') | awk -v programs="$2/" '
    index($0, programs) == 1 { $0 = "%programs%/" substr($0, length(programs) + 1) }
    { print tolower($0) }' |
    grep -E 'norvex|(^|/)kv[^/]*$|kv pellora' | grep -v '^kvsetup/' | sed 's/^/file /' | sort || true
}
winsim_programs="WINDOWS/Profiles/All Users/Start Menu/Programs"
wine_programs="ProgramData/Microsoft/Windows/Start Menu/Programs"

export_registry registry
values=$(wc -l <"$out/winsim/registry.sorted")
check_diff registry "$out/winsim/registry.sorted" "$out/wine/registry.sorted"

# ---- PWUNINST on an 800 x 600 X screen -------------------------------------------------------
# Wine draws each of the program's windows as an X window of its own (not managed, as no window
# manager runs), so that xdotool finds them by their titles and a maximised window covers the
# screen as on Windows. Wine's NetUserGetInfo answers privilege 0 for its user, where NT 4.0
# answers USER_PRIV_ADMIN for an administrator; the uninstaller, which stops for any other user,
# runs with the stand-in NETAPI32.DLL (companions/netadmin.cpp) in place of Wine's.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp "$bin/wine/netapi32.dll" "$drive/KVSETUP/"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x16 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; "${WINESERVER:-wineserver}" -k 2>/dev/null || true' EXIT
DISPLAY=$display timeout 10 sh -c 'until xdotool getmouselocation >/dev/null 2>&1; do sleep 0.2; done' ||
  { echo "windows: Xvfb did not start on $display"; exit 1; }
# The session so far ran without a display (regedit, PWCALLS); its desktop process would serve
# the uninstaller with none. A new session starts with the X screen.
"${WINESERVER:-wineserver}" -k 2>/dev/null || true
"${WINESERVER:-wineserver}" -w 2>/dev/null || true
export DISPLAY=$display
uninstaller() { # ARGS: PWUNINST under Wine, at most 240 s, with the stand-in NETAPI32.DLL
  cd "$drive/KVSETUP" && WINEDLLOVERRIDES=${overrides-netapi32=n,b} \
    exec timeout 240 "$wine" PWUNINST.EXE "$@" >/dev/null 2>&1
}
# The id of the first visible window whose title matches, once one shows (90 s at most: a new
# Wine session on a busy machine takes half a minute and more to start).
wait_window() { # TITLE-REGEX
  DISPLAY=$display timeout 90 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}
# A window is mapped before its controls have painted themselves: a moment for that, then the
# screen.
shot() {
  sleep 1
  DISPLAY=$display import -window root "$out/screens/$1.png" 2>/dev/null || echo "windows: no screenshot $1"
}
press() { DISPLAY=$display xdotool windowfocus "$1" key "$2" 2>/dev/null || true; }

# With Wine's own NETAPI32.DLL the uninstaller refuses Wine's user: it shows its message box and,
# once that is answered, ends with -1. winsim's NT 4.0 user is an administrator.
echo "administrator check: passed" >"$out/winsim/account.out"
(overrides='' uninstaller) &
pid=$!
id=$(wait_window '^KV Pellora 4720 Uninstaller$') || true
[ -z "$id" ] || { shot 0-wine-user; press "$id" Return; }
# A program that went on (a welcome page, not the box) is ended after 10 s, with its session.
for _ in $(seq 20); do kill -0 $pid 2>/dev/null || break; sleep 0.5; done
if kill $pid 2>/dev/null; then
  "${WINESERVER:-wineserver}" -k 2>/dev/null || true
  "${WINESERVER:-wineserver}" -w 2>/dev/null || true
fi
rc=0; wait $pid || rc=$?
if [ $rc -eq 255 ]; then echo "administrator check: refused"; else echo "administrator check: passed"; fi \
  >"$out/wine/account.out"
check_diff account "$out/winsim/account.out" "$out/wine/account.out"

# The wizard: the welcome page, Next, the selection page, Escape.
(uninstaller) &
pid=$!
id=$(wait_window '^KV Pellora 4720 Uninstaller$') || true
if [ -n "$id" ]; then
  shot 1-welcome
  press "$id" Return
  id=$(wait_window '^Select Components$') || true
  if [ -n "$id" ]; then
    shot 2-selection
    press "$id" Escape
  else
    echo "windows: Next on the welcome page showed no selection page"; failed=1
    shot 2-after-next
  fi
else
  echo "windows: PWUNINST showed no welcome page"; failed=1
  shot 1-no-welcome
fi
rc=0; wait $pid || rc=$?
[ $rc -eq 0 ] || { echo "windows: the wizard ended with exit code $rc"; failed=1; }

# ---- the scrub run on both, and what it leaves ------------------------------------------------
# Each message box the scrub shows is answered with its default button, as `winsim uninstall`
# does; the number of boxes and the exit code are compared.
"$winsim" uninstall "$machine" scrub >"$out/winsim/scrub.log" 2>&1 || true
printf 'message boxes: %s\n%s\n' "$(grep -c '^message box' "$out/winsim/scrub.log" || true)" \
  "$(grep '^exit code' "$out/winsim/scrub.log")" >"$out/winsim/scrub.out"
(uninstaller scrub) &
pid=$!
boxes=0
# The run's first window (its background or splash), whatever its title.
DISPLAY=$display timeout 90 xdotool search --sync --onlyvisible --classname '^pwuninst\.exe$' >/dev/null 2>&1 || true
shot 3-scrub
while kill -0 $pid 2>/dev/null && [ $boxes -lt 10 ]; do
  id=$(DISPLAY=$display xdotool search --onlyvisible --name '^KV Pellora 4720 Uninstaller$' 2>/dev/null | head -1) || true
  if [ -n "$id" ]; then
    boxes=$((boxes + 1))
    shot "3-scrub-box-$boxes"
    press "$id" Return
  fi
  sleep 1
done
rc=0; wait $pid || rc=$?
printf 'message boxes: %s\nexit code %s\n' "$boxes" "$rc" >"$out/wine/scrub.out"
check_diff scrub "$out/winsim/scrub.out" "$out/wine/scrub.out"

KEYS=1 export_registry scrub-registry
check_diff scrub-registry "$out/winsim/scrub-registry.sorted" "$out/wine/scrub-registry.sorted"
product_files "$machine/drive_c" "$winsim_programs" >"$out/winsim/scrub-files.out"
product_files "$drive" "$wine_programs" >"$out/wine/scrub-files.out"
check_diff scrub-files "$out/winsim/scrub-files.out" "$out/wine/scrub-files.out"
scrubbed=$(( $(wc -l <"$out/winsim/scrub-registry.sorted") + $(wc -l <"$out/winsim/scrub-files.out") ))

# ---- the known differences --------------------------------------------------------------------
# Each is listed once; one of this tier that no difference matched is reported (the example or
# Wine changed), without failing the run.
dupes=$(grep -v -e '^#' -e '^[[:space:]]*$' "$known" | sort | uniq -d)
if [ -n "$dupes" ]; then echo "windows: listed twice in $(basename "$known"): $dupes"; failed=1; fi
awk -v tier="$tier" '/^#/ || NF == 0 { next } $1 == tier || $1 == "all" { print NR }' "$known" |
  while read -r n; do
    grep -qx "$n" "$out/known-seen" 2>/dev/null ||
      echo "windows: known difference not seen: $(sed -n "${n}p" "$known")"
  done

echo "windows: $calls calls, $values registry values and $scrubbed lines after the scrub compared," \
     "$knownSeen known differences seen, in $(( $(date +%s) - started )) s; screenshots in $out/screens"
exit $failed
