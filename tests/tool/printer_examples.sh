#!/usr/bin/env bash
# The printer examples: each call script installs the printer on a fresh machine of its system,
# and the spooler then holds what the script says.
set -uo pipefail
winsim=$1 src=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-printer.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
here=$src/examples
# shellcheck source=../../examples/stage.sh
. "$here/stage.sh"

for os in nt4 win98; do
  m="$work/$os"
  "$winsim" new "$m" --os "$os" >/dev/null || fail "new $os"
  mkdir -p "$m/drive_c/KVSETUP"
  cp "$src/examples/printer/KVP4720.INF" "$m/drive_c/KVSETUP/"
  stage_printer_files "$(dirname "$winsim")" "$m/drive_c" "$os"
  out=$("$winsim" run "$m" "$src/examples/install-printer-$os.calls") || fail "$os run: $out"
  show=$("$winsim" show "$m") || fail "$os show"
  grep -q '^printer "KV Pellora 4720" port "LPT1:" driver "KV Pellora 4720" processor "KV Pellora Print Processor" datatype "RAW" attributes 0x00000240$' <<<"$show" \
    || fail "$os: the first printer: $show"
  grep -q '^printer "KV Pellora 4720-1" .* default$' <<<"$show" || fail "$os: the numbered default printer: $show"
  grep -q '^monitor "KV Pellora Language Monitor" file "KVLMON.DLL"$' <<<"$show" || fail "$os: language monitor: $show"
  grep -q '^monitor "KV Pellora Port Monitor" file "KVPMON.DLL"$' <<<"$show" || fail "$os: port monitor: $show"
done
grep -q '^driver "KV Pellora 4720" environment "Windows 4.0" version 0 ' <<<"$("$winsim" show "$work/nt4")" \
  || fail "nt4: the Windows 95/98 driver for the clients"
echo "printer examples: all checks passed"
