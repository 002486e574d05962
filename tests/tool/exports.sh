#!/usr/bin/env bash
# The call-script interpreter knows every export of PWSETUP.def with the argument count that the
# .def gives it ("@8": two 32-bit arguments), and refuses a call with any other count.
set -uo pipefail
winsim=$1
def=$2/setup/PWSETUP.def
work=$(mktemp -d /tmp/winsim-exports.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$winsim" new "$work/m" --os nt4 >/dev/null || fail "new"

# A call with `count` zero arguments, as a call-script line.
call() {
  local name=$1 count=$2 args=() i
  for ((i = 0; i < count; ++i)); do args+=(0); done
  local IFS=,
  echo "$name(${args[*]})"
}

entries=$(sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z_0-9]*\)=[A-Za-z_0-9]*@\([0-9]*\).*$/\1 \2/p' "$def")
[ "$(wc -l <<<"$entries")" -ge 20 ] || fail "the .def lists the exports: $entries"
while read -r name bytes; do
  count=$((bytes / 4))
  # The count is checked before the call is made, so a wrong one runs nothing.
  for wrong in $((count + 1)) $((count - 1)); do
    [ "$wrong" -ge 0 ] || continue
    call "$name" "$wrong" >"$work/wrong.calls"
    out=$("$winsim" run "$work/m" "$work/wrong.calls" 2>&1); rc=$?
    [ $rc -eq 2 ] || fail "$name with $wrong arguments exits 2, got $rc: $out"
    grep -q "line 1: $name takes $count arguments, not $wrong" <<<"$out" \
      || fail "$name takes $count arguments: $out"
  done
done <<<"$entries"
echo "exports: all checks passed"
