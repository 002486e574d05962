#!/usr/bin/env bash
# pwcheck on the examples: the faulty uninstall script is flagged line by line (exit 2), the KV
# Vela 2610's scripts are clean (exit 0); and the tool's help and unknown commands.
set -uo pipefail
winsim=$1 src=$2
pwcheck=$(dirname "$winsim")/pwcheck
fail() { echo "FAIL: $*"; exit 1; }

out=$("$pwcheck" "$src/examples/faulty/UNINST-FAULTY.INI")
[ $? = 2 ] || fail "the faulty script gives exit status 2: $out"
f=$src/examples/faulty/UNINST-FAULTY.INI
for expected in \
  "$f:6: error: \"Gone\" has no section [Gone]" \
  "$f:14: warning: component [Tools] has no \"Title\"" \
  "$f:21: error: \"%DRIVER%\" is not in [strings]" \
  "$f:22: error: \"C:\\WINDOWS\\SYSTEM32\" is a drive root or the Windows or system directory" \
  "$f:23: error: \"C:\\Program Files\\Norvex\\KV4720\\\" names a folder" \
  "$f:26: error: \"-2147483646,SOFTWARE\\Norvex\\KVP\" has no \"=\"" \
  "$f:27: error: \"SOFTWARE\" is a key of Windows itself" \
  "$f:28: error: the entry names a root key" \
  "$f:29: error: root \"12\" is no predefined key" \
  "$f:32: error: an Inidel entry is FILE,SECTION" \
  "$f:36: warning: key \"C:\\Program Files\\Norvex\\KV4720\\KVDESK.EXE\" again" \
  "$f:39: error: an Icon entry is FOLDER,SHORTCUT, with a third field" \
  "$f:42: error: type 4 is unknown to a Regadd entry" \
  "$f:44: error: section [DriverKeys] again (first at line 25)"; do
  grep -qF "$expected" <<<"$out" || fail "missing: $expected in: $out"
done
grep -qx 'pwcheck: 1 file, 12 errors, 2 warnings' <<<"$out" || fail "summary: $out"

v=$src/examples/vela
out=$("$pwcheck" "$v/VELA2610.INF" "$v/KVREG.INI" "$v"/UNINST-*.INI "$v"/install-*.calls) \
  || fail "the KV Vela 2610's scripts are clean: $out"
grep -qx 'pwcheck: 7 files, 0 errors, 0 warnings' <<<"$out" || fail "vela summary: $out"
# Warnings only: exit status 1.
printf '[Components]\r\nA=1\r\n[A]\r\nFiles=F\r\n[F]\r\nC:\\KV\\A.EXE=1\r\n' >"${TMPDIR:-/tmp}/pwcheck-warn.$$.INI"
"$pwcheck" "${TMPDIR:-/tmp}/pwcheck-warn.$$.INI" >/dev/null
rc=$?
rm -f "${TMPDIR:-/tmp}/pwcheck-warn.$$.INI"
[ $rc = 1 ] || fail "a component without a title is a warning (exit 1), got $rc"
"$pwcheck" "$src/examples/vela/SETUP.INI" >/dev/null && fail "a file of no known kind is an error"
"$pwcheck" --help | grep -q '^usage: pwcheck' || fail "pwcheck --help"

# winsim's help goes to standard output with status 0; an unknown command is named.
"$winsim" --help | grep -q '^  winsim diff DIR-A DIR-B \[--json\]$' || fail "winsim --help"
err=$("$winsim" bogus 2>&1 >/dev/null)
[ $? = 2 ] || fail "an unknown command exits 2"
grep -qx 'winsim: unknown command bogus' <<<"$err" || fail "unknown command: $err"
# README's copies of the two helps are the helps, and its call-script example reads.
block() { awk -v mark="<!-- $1 -->" '$0 == mark {on = 1; next} on && /^```$/ {if (in_) exit; in_ = 1; next} in_' "$src/README.md"; }
[ "$(block 'winsim --help')" = "$("$winsim" --help)" ] || fail "README's winsim help differs from winsim --help"
[ "$(block 'pwcheck --help')" = "$("$pwcheck" --help)" ] || fail "README's pwcheck help differs from pwcheck --help"
example="${TMPDIR:-/tmp}/readme-example.$$.calls"
awk '/^### Call scripts$/ {on = 1} on && /^```$/ {if (in_) exit; in_ = 1; next} in_' "$src/README.md" >"$example"
out=$("$pwcheck" "$example")
rc=$?
machine=$(mktemp -d "${TMPDIR:-/tmp}/readme-machine.XXXXXX")
"$winsim" new "$machine/m" >/dev/null
ran=$("$winsim" run "$machine/m" "$example" 2>&1)
ranrc=$?
rm -rf "$example" "$machine"
[ $rc = 0 ] || fail "README's call-script example: $out"
[ $ranrc = 0 ] || fail "README's call-script example runs: $ran"
grep -qxF 'DLL_SetStr(1070, "say ""hi""") = 0' <<<"$ran" || fail "a quote, doubled: $ran"
echo "check: all checks passed"
