#!/usr/bin/env bash
# The call-script language of `winsim run`: outputs, expect lines and their exit status, errors.
set -uo pipefail
winsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-callscript.XXXXXX")
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

# The script is checked whole first: a bad line late in it leaves the earlier ones unmade.
cat > "$work/malformed.calls" <<'CALLS'
DLL_GetNum(20)
DLL_AddRegKey(0x80000002, "SOFTWARE\Early")
DLL_GetNum(20, 5)
DLL_GetNum(20)
CALLS
out=$("$winsim" run "$work/m" "$work/malformed.calls" 2>&1); rc=$?
[ $rc -eq 2 ] || fail "a malformed line exits 2, got $rc"
grep -q '^line 3: ' <<<"$out" || fail "the error names the line: $out"
! grep -q '^DLL_' <<<"$out" || fail "nothing runs when a line is malformed: $out"
! "$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Early' >/dev/null 2>&1 \
  || fail "a line before the malformed one was made"

# A script the interpreter refuses before the library sees it (each kind of refusal is checked
# on the reader itself, in winsim_callscript_test): exit 2, the line named, nothing run.
printf 'DLL_GetNum(20)\n%s\n' 'DLL_GetStr(1080, o[4], 64)' > "$work/refused.calls"
out=$("$winsim" run "$work/m" "$work/refused.calls" 2>&1); rc=$?
[ $rc -eq 2 ] || fail "a buffer smaller than its size: exits 2, got $rc: $out"
grep -q "^line 2: .*holds 4 bytes, less than the 64" <<<"$out" || fail "the refusal says why: $out"
! grep -q '^DLL_' <<<"$out" || fail "nothing runs: $out"

# "" is a quote inside a string; a backslash stays itself. A UTF-8 byte order mark is skipped.
printf '\xEF\xBB\xBFexpect DLL_SetNum(-2147483648, 4294967295) == 4096\n%s\n' \
  'expect DLL_WriteRegValue(0x80000002, "SOFTWARE\Q", "V", "say ""hi"" \", 1) == 1' > "$work/quote.calls"
out=$("$winsim" run "$work/m" "$work/quote.calls" 2>&1) || fail "BOM, quotes, 32-bit bounds: $out"
"$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Q' | grep -qF '"V"="say \"hi\" \\"' \
  || fail "the quote reaches the library: $("$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Q')"

"$winsim" run "$work/m" "$work" >/dev/null 2>&1; [ $? -eq 2 ] || fail "a folder as the script"

echo "callscript: all checks passed"
