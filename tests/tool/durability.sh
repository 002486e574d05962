#!/usr/bin/env bash
# The winsim command fails, naming the file, when a machine's hive does not read whole (and
# leaves it as it was) or when what a command changed cannot be saved.
set -uo pipefail
winsim=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-durable.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

m="$work/m"
"$winsim" new "$m" >/dev/null || fail "new"
cp "$m/system.reg" "$work/whole.reg"
printf '"Bad"=hex:zz\r\n' >> "$m/system.reg"
cp "$m/system.reg" "$work/damaged.reg"
line=$(wc -l < "$m/system.reg")
err=$("$winsim" reg export "$m" 2>&1 >/dev/null) && fail "export of a damaged machine exits 0"
grep -qF "$m/system.reg: line $line: " <<<"$err" || fail "names the file and line: $err"
cmp -s "$m/system.reg" "$work/damaged.reg" || fail "the damaged hive was written over"
cp "$work/whole.reg" "$m/system.reg"

# The hive's temporary file cannot be made (a folder of that name, for the process's id, which
# exec keeps): the import reports the hive; its change waits in the log for the next open.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvex]\r\n"A"="1"\r\n' > "$work/a.reg"
err=$(bash -c 'mkdir -p "$1/system.reg.tmp$$/x" && exec "$2" reg import "$1" "$3"' _ \
      "$m" "$winsim" "$work/a.reg" 2>&1) && fail "an import that cannot be saved exits 0"
grep -qF "$m/system.reg: cannot be written" <<<"$err" || fail "names the hive: $err"
rm -rf "$m"/system.reg.tmp*
out=$("$winsim" reg export "$m" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvex') || fail "export after"
grep -qF '"A"="1"' <<<"$out" || fail "the change was kept: $out"
echo ok
