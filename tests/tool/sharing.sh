#!/usr/bin/env bash
# Two programs on one machine: each `winsim run` holds the machine while it runs, so two at once
# run one after the other; the one that waits says so, and neither loses the other's writes.
set -uo pipefail
winsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-sharing.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os nt4 >/dev/null || fail "new"
for side in A B; do
  for i in $(seq 1 2000); do
    echo "DLL_WriteRegValue(0x80000002, \"SOFTWARE\\Shared\\$side\", \"v$i\", &$i, 4)"
  done > "$work/$side.calls"
  for i in $(seq 1 20); do echo "expect DLL_AddPort(\"NET$side$i:\") == 1"; done >> "$work/$side.calls"
done

# A program of our own holds the machine first (and names itself, as winsim does), so that both
# runs find it in use; let go, they run one after the other.
exec 9>>"$work/m/.lock"
flock 9 || fail "lock"
echo $$ > "$work/m/.lock"
"$winsim" run "$work/m" "$work/A.calls" >"$work/A.out" 2>"$work/A.err" 9>&- & a=$!
"$winsim" run "$work/m" "$work/B.calls" >"$work/B.out" 2>"$work/B.err" 9>&- & b=$!
for _ in $(seq 1 600); do
  grep -q waiting "$work/A.err" && grep -q waiting "$work/B.err" && break
  sleep 0.1
done
exec 9>&-
wait $a || fail "run A exits 0: $(cat "$work/A.err")"
wait $b || fail "run B exits 0: $(cat "$work/B.err")"
for side in A B; do
  grep -qxF "winsim: $work/m is in use by another program (process $$); waiting" "$work/$side.err" \
    || fail "run $side says it waits, for whom: $(cat "$work/$side.err")"
done

values=$("$winsim" reg export "$work/m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Shared' | grep -c '^"v')
[ "$values" = 4000 ] || fail "every value of both runs: $values of 4000"
# NT keeps WIN.INI's [Ports] in the registry (its profile mapping).
ports=$("$winsim" reg export "$work/m" \
  'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports' | grep -c '^"NET[AB][0-9]*:"=')
[ "$ports" = 40 ] || fail "every port line of both runs: $ports of 40"

exit 0
