#!/usr/bin/env bash
# `winsim run` checks a call's argument count before it runs anything: a wrong count exits 2 and
# names the line, and the machine keeps what it had. (The count of every export against
# PWSETUP.def is checked on the reader itself, in winsim_callscript_test.)
set -uo pipefail
winsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-exports.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os nt4 >/dev/null || fail "new"
before=$("$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE') || fail "export"
printf 'DLL_WriteRegValue(0x80000002, "SOFTWARE\\KV", "a", "b", 2)\nDLL_GetNum(1, 2)\n' \
  >"$work/wrong.calls"
out=$("$winsim" run "$work/m" "$work/wrong.calls" 2>&1); rc=$?
[ $rc -eq 2 ] || fail "a wrong count exits 2, got $rc: $out"
grep -q "line 2: DLL_GetNum takes 1 arguments, not 2" <<<"$out" || fail "the line named: $out"
[ "$("$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE')" = "$before" ] \
  || fail "the sound line before the wrong one ran"
echo "exports: all checks passed"
