#!/usr/bin/env bash
# The shipped examples run on fresh machines with every expect holding.
set -euo pipefail
winsim=$1 src=$2
out=$(WINSIM="$winsim" bash "$src/examples/demo.sh")
grep -q '"Version"="1.00.5.020"' <<<"$out"
grep -q '"Path"="C:\\\\Program Files\\\\Norvex\\\\KV4720"' <<<"$out"
grep -q '"C:\\\\WINDOWS\\\\SYSTEM32\\\\KVLMON.DLL"=dword:00000002' <<<"$out"
grep -q '"C:\\\\WINDOWS\\\\SYSTEM\\\\KVLMON.DLL"=dword:00000002' <<<"$out"
if grep -q '"Unused"' <<<"$out"; then echo "an undefined placeholder must skip its entry"; exit 1; fi
echo "examples: all checks passed"
