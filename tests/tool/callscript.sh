#!/usr/bin/env bash
# The call-script language of `winsim run`: outputs, expect lines and their exit status, errors.
set -uo pipefail
winsim=$1
work=$(mktemp -d /tmp/winsim-callscript.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os win98 >/dev/null || fail "new"

cat > "$work/ok.calls" <<'CALLS'
# comment lines and blank lines are skipped

DLL_SetStr(1000, "C:\WINDOWS")
DLL_GetStr(1070, out[6], 6)
expect out == "1.00."
expect out != "1.00.5.020"
expect DLL_SetNum(99, 0) == 4096
expect DLL_SetNum(-5, 0x10) == 4096
expect DLL_SetStr(1000, null) == 8192
expect DLL_WriteRegValue(0x80000002, "SOFTWARE\Norvex\KVP", "Files", multi("a", "b"), 7) == 1
expect DLL_WriteRegValue(0x80000002, "SOFTWARE\Norvex\KVP", "Count", &5, 4) == 1
CALLS
out=$("$winsim" run "$work/m" "$work/ok.calls") || fail "a script whose expects hold exits 0: $out"
grep -qx 'DLL_SetStr(1000, "C:\\WINDOWS") = 0' <<<"$out" || fail "call line: $out"
grep -qx '  out = "1.00."' <<<"$out" || fail "output line: $out"
grep -qx 'DLL_SetNum(-5, 0x10) = 4096' <<<"$out" || fail "arguments as written: $out"
"$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex\KVP' | grep -q '"Count"=dword:00000005' \
  || fail "the run's registry writes persist"

printf 'DLL_GetStr(1070, v[32], 32)\nexpect v == "wrong"\nexpect DLL_GetNum(20) == 1\n' > "$work/bad.calls"
out=$("$winsim" run "$work/m" "$work/bad.calls" 2>&1); rc=$?
[ $rc -eq 1 ] || fail "a failed expect exits 1, got $rc"
grep -q 'line 2: expect failed: v is "1.00.5.020", expected == "wrong"' <<<"$out" || fail "what it found: $out"
grep -qx 'DLL_GetNum(20) = 1' <<<"$out" || fail "the run goes on after a failed expect: $out"

printf 'DLL_GetNum(20)\nDLL_GetNum(20, 5)\nDLL_GetNum(20)\n' > "$work/malformed.calls"
out=$("$winsim" run "$work/m" "$work/malformed.calls" 2>&1); rc=$?
[ $rc -eq 2 ] || fail "a malformed line exits 2, got $rc"
grep -q '^line 2: ' <<<"$out" || fail "the error names the line: $out"
[ "$(grep -c '^DLL_GetNum' <<<"$out")" -eq 1 ] || fail "nothing after the bad line runs: $out"

printf 'DLL_NoSuchExport(1)\n' > "$work/unknown.calls"
out=$("$winsim" run "$work/m" "$work/unknown.calls" 2>&1); rc=$?
[ $rc -eq 2 ] && grep -q 'line 1: unknown export DLL_NoSuchExport' <<<"$out" || fail "unknown export: $out"

printf 'DLL_SetStr(1000, "unterminated)\n' > "$work/string.calls"
"$winsim" run "$work/m" "$work/string.calls" >/dev/null 2>&1; [ $? -eq 2 ] || fail "unterminated string"
echo "callscript: all checks passed"
