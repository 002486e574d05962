#!/usr/bin/env bash
# `winsim uninstall` runs a GUI program as a process of its own on the machine, answers its
# message boxes from the options and lists what it showed; `winsim reboot` starts the machine
# again. A small test program (GUIPROG.EXE, next to the tool) stands in for PWUNINST here.
set -uo pipefail
winsim=$1
program=$(dirname "$winsim")/GUIPROG.EXE
work=$(mktemp -d "${TMPDIR:-/tmp}/winsim-uninstall.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os nt4 >/dev/null || fail "new"
printf '[windows]\r\nPW_DocumentAssistantClass=Document Assistant\r\n' >> "$work/m/machine.ini"

out=$("$winsim" uninstall "$work/m" scrub --answer cancel --program "$program") \
  || fail "uninstall exits with the program's code 0: $out"
grep -qx 'PWUNINST scrub' <<<"$out" || fail "command line: $out"
grep -qx 'window closed: PW_DocumentAssistantClass' <<<"$out" || fail "closed window: $out"
grep -qx 'message box "Test" (0x21): "Restart now?" -> CANCEL' <<<"$out" || fail "box: $out"
grep -q 'restart requested' <<<"$out" && fail "no restart after Cancel: $out"
grep -qx 'exit code 0' <<<"$out" || fail "exit code: $out"
grep -q 'PW_DocumentAssistantClass' "$work/m/machine.ini" && fail "window line stays"

# With no answer the user presses the default button, OK: the restart is asked for.
out=$("$winsim" uninstall "$work/m" --program "$program") || fail "second run: $out"
grep -qx 'restart requested (ExitWindowsEx 0x2)' <<<"$out" || fail "restart: $out"

out=$("$winsim" uninstall "$work/m" fail --program "$program")
[ $? = 255 ] || fail "exit status of -1"
grep -qx 'exit code -1' <<<"$out" || fail "exit code -1: $out"
grep -qF '"You must be logged in\nas an administrator."' <<<"$out" || fail "line break: $out"

"$winsim" uninstall "$work/m" --answer maybe --program "$program" 2>/dev/null && fail "bad answer"

# A failure armed from the environment is the program's: the tool hands it on, keeps none, and
# only the program's close is reported.
WINSIM_FAIL_AT=1 WINSIM_FAILPOINT_COUNT="$work/report" \
  "$winsim" uninstall "$work/m" --answer cancel --program "$program" >/dev/null
grep -q '^fail 1 [A-Za-z]' "$work/report" || fail "the first point fails: $(cat "$work/report")"
[ "$(grep -c '^close' "$work/report")" = 1 ] || fail "one close line: $(cat "$work/report")"

# The next start: a file in use and its delayed deletion.
mkdir -p "$work/m/drive_c/KV"
echo x > "$work/m/drive_c/KV/KVDESK.EXE"
printf 'C:\\KV\\KVDESK.EXE=\r\n' >> "$work/m/machine.ini"
cat > "$work/pending.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager]
"PendingFileRenameOperations"=hex(7):5c,3f,3f,5c,43,3a,5c,4b,56,5c,4b,56,44,45,53,4b,2e,45,\
  58,45,00,00,5c,3f,3f,5c,43,3a,5c,4b,56,00,00,00
REG
"$winsim" reg import "$work/m" "$work/pending.reg" || fail "import"
out=$("$winsim" reboot "$work/m") || fail "reboot: $out"
grep -qx 'pending: deleted C:\\KV\\KVDESK.EXE' <<<"$out" || fail "file deleted: $out"
grep -qx 'pending: deleted C:\\KV' <<<"$out" || fail "folder deleted: $out"
[ -e "$work/m/drive_c/KV" ] && fail "folder left"
exit 0
