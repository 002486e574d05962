#!/usr/bin/env bash
# `winsim diff` between two machines, and `--preview` of `winsim run` and `winsim uninstall`:
# the command runs on a copy, its changes are printed, and the machine stays as it was.
set -uo pipefail
winsim=$1 src=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-preview.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os win98 >/dev/null || fail "new"
cp -r "$work/m" "$work/before"
printf '%s\n' 'expect DLL_WriteRegValue(0x80000002, "SOFTWARE\Norvex\KVP", "Path", "C:\KV", 1) == 1' \
  >"$work/write.calls"
out=$("$winsim" run "$work/m" "$work/write.calls" --preview) || fail "run --preview: $out"
grep -qx '+ key  HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP' <<<"$out" || fail "the key: $out"
grep -qx '         "Path" = "C:\\\\KV"' <<<"$out" || fail "its value: $out"
"$winsim" diff "$work/before" "$work/m" >/dev/null || fail "run --preview changed the machine"

# The run itself changes the machine; diff says what, as text and as JSON.
"$winsim" run "$work/m" "$work/write.calls" >/dev/null || fail "run"
out=$("$winsim" diff "$work/before" "$work/m")
[ $? = 1 ] || fail "diff of two machines that differ exits 1"
grep -qx '+ key  HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex' <<<"$out" || fail "diff: $out"
json=$("$winsim" diff "$work/before" "$work/m" --json)
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; d=json.load(sys.stdin); assert "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex\\KVP" in d["keys"]["added"], d' \
    <<<"$json" || fail "JSON: $json"
fi
"$winsim" diff "$work/before" "$work/nowhere" >/dev/null 2>&1
[ $? = 2 ] || fail "a missing machine exits 2"

# PWUNINST's scrub run on the example installation, previewed: what goes, what waits for the
# next start (the desktop utility is in use), and the machine as it was.
here="$src/examples"
# shellcheck source=../../examples/stage.sh
. "$here/stage.sh"
u="$work/u"
stage_install "$winsim" "$u" nt4 >/dev/null || fail "stage"
for step in $install_steps; do
  "$winsim" run "$u" "$here/install-$step-nt4.calls" >/dev/null || fail "install $step"
done
stage_running_utility "$u"
cp -r "$u" "$work/u0"
out=$("$winsim" uninstall "$u" scrub --answer cancel --preview) || fail "uninstall --preview: $out"
grep -qx -- '- file C:\\WINDOWS\\SYSTEM32\\spool\\drivers\\w32x86\\2\\KV4720.DLL' <<<"$out" \
  || fail "the driver's file goes: $out"
next=$(sed -n '/^=== what would wait for the next start of Windows$/,$p' <<<"$out")
grep -qx -- '- file C:\\Program Files\\Norvex\\KV4720\\KVDESK.EXE' <<<"$next" \
  || fail "the utility in use goes at the next start: $out"
"$winsim" diff "$work/u0" "$u" >/dev/null || fail "uninstall --preview changed the machine"
cmp -s "$work/u0/machine.ini" "$u/machine.ini" || fail "machine.ini changed"
echo "preview: all checks passed"
