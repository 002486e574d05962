#!/usr/bin/env bash
# PWUNINST's wizard as a person goes through it: `winsim uninstall --do` steps on the welcome and
# selection pages, what the program showed and what the user did, and steps that cannot be taken.
set -uo pipefail
winsim=$1
program=$(dirname "$winsim")/PWUNINST.EXE
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-wizard.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os win98 >/dev/null || fail "new"
mkdir -p "$work/m/drive_c/KV"
{
  printf '[Components]\r\n'
  for i in 1 2 3; do printf 'c%s=1\r\n' $i; done
  for i in 1 2 3; do
    printf '[c%s]\r\nTitle=Component %s\r\nFiles=F%s\r\n[F%s]\r\nC:\\KV\\C%s.DLL=1\r\n' $i $i $i $i $i
    echo x > "$work/m/drive_c/KV/C$i.DLL"
  done
  printf '[Shared]\r\nnone=0\r\n'
} > "$work/m/drive_c/KV/UNINST.INI"
cat > "$work/install.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Norvex\KVP\KV Pellora 4720\Install]
"Uninstall"="C:\\KV\\UNINST.INI"
REG
"$winsim" reg import "$work/m" "$work/install.reg" || fail "import"

# A step that cannot be taken names itself, and nothing is removed.
out=$("$winsim" uninstall "$work/m" --do Next --do 'check "Component 9"' --do OK \
        --program "$program" 2>"$work/err"); rc=$?
[ $rc = 1 ] || fail "an untakeable step exits 1, got $rc: $out"
grep -q 'cannot take the step "check \\"Component 9\\"\|cannot take the step "check "Component 9""' "$work/err" \
  || fail "the error names the step: $(cat "$work/err")"
grep -qx 'user: OK' <<<"$out" && fail "the steps after it are dropped: $out"
[ -e "$work/m/drive_c/KV/C2.DLL" ] || fail "nothing removed"

# A malformed step is refused before the program starts.
"$winsim" uninstall "$work/m" --do 'check "open' --program "$program" >/dev/null 2>&1
[ $? = 2 ] || fail "a malformed step exits 2"

# Next, the second row by its title, the third by its number, then unchecked again; OK; Exit.
out=$("$winsim" uninstall "$work/m" --do Next --do 'check "Component 2"' --do 'check 3' \
        --do 'check 3' --do OK --answer ok --do Exit --program "$program") \
  || fail "the wizard run: $out"
for line in 'window "KV Pellora 4720 Uninstaller"' 'user: Next' 'window "Select Components"' \
            'user: check "Component 2"' 'user: OK' 'user: Exit' 'exit code 0'; do
  grep -qxF "$line" <<<"$out" || fail "$line: $out"
done
grep -q 'message box .*"The uninstaller has removed the component(s) selected." -> OK' <<<"$out" \
  || fail "the success message: $out"
[ -e "$work/m/drive_c/KV/C2.DLL" ] && fail "the checked component stays"
[ -e "$work/m/drive_c/KV/C3.DLL" ] || fail "a row checked twice is removed"
[ -e "$work/m/drive_c/KV/C1.DLL" ] || fail "an unchecked component is removed"

# Pictures of the screen each time it settles, numbered and named after what led there.
out=$("$winsim" uninstall "$work/m" --do Next --do 'check 1' --do Exit --program "$program" \
        --screenshots "$work/shots/run") || fail "the run with screenshots: $out"
shots=$(cd "$work/shots/run" && ls)
[ "$shots" = "$(printf '%s\n' 01-dialog-103.png 02-kv-pellora-4720-uninstaller.png \
                  03-after-next.png 04-after-check-1.png)" ] || fail "the screenshots: $shots"
head -c 4 "$work/shots/run/04-after-check-1.png" | grep -q PNG || fail "a PNG file"
"$winsim" uninstall "$work/m" --screenshots /dev/null/shots --program "$program" >/dev/null 2>&1
[ $? = 2 ] || fail "a folder that cannot be made exits 2"

# The keyboard: the list takes the focus with a click on a row's text; down, space, OK. With two
# rows left and both chosen, the "All" path runs the scrub and the script goes.
out=$("$winsim" uninstall "$work/m" --do Next --do 'select 1' --do space --do down --do space \
        --do OK --program "$program") || fail "the keyboard run: $out"
for f in C1.DLL C3.DLL UNINST.INI; do
  [ -e "$work/m/drive_c/KV/$f" ] && fail "$f stays: $out"
done
exit 0
