#!/usr/bin/env bash
# The failure sweep: every failure point that the example installation (examples/install-*.calls,
# each step a `winsim run` process of its own) and the example uninstall (`winsim uninstall DIR
# scrub`, the points being PWUNINST's) reach is made to fail in turn, one a run, on a copy of the
# machine as that step finds it. A run is faulty when it crashes, when a sanitizer reports, when
# it leaves a handle open, or when a key or file of a fresh Windows is gone afterwards; a step
# whose every result is that of the run without the failure while the machine differs is listed.
#   sweep.sh WINSIM [--stride K] [--os "nt4 win98"] [--units "start ... uninstall"] [--jobs N]
#            [--strict]
# --stride K fails points 1, K+1, 2K+1, ... of each unit (every one without it).
# WINSIM is the winsim command of a build with PWSETUP, PWUNINST and the companions beside it.
# Each run ends one way (the last column of its line):
#   reported    the script's results or exit differ from the run without the failure
#   absorbed    every result and the machine as without the failure
#   default     a profile read failed, which answers its default as a missing key does
#   unreleased  the failed call was a close, whose own handle stays open
#   left        the uninstall left something behind and, as a scrub run does, said nothing
#   unreached   the point was not reached (the run took another path)
#   silent      every result as without the failure, the machine not: an installation step
#               that reported a success for what failed (listed; a fault with --strict)
#   crash, sanitizer, leak (more handles open than without the failure), root (a key or file
#               of a fresh Windows gone): faults
# Exits 1 on a fault; faulty runs keep their output in the folder it names.
set -euo pipefail
winsim=$(realpath "${1:?usage: sweep.sh WINSIM [--stride K] [--os LIST] [--units LIST] [--jobs N]}")
shift
here=$(cd "$(dirname "$0")/../examples" && pwd)
# shellcheck source=../examples/stage.sh
. "$here/stage.sh"
stride=1 strict="" systems="nt4 win98" units="$install_steps uninstall" jobs=$(nproc 2>/dev/null || echo 2)
while [ $# -gt 0 ]; do
  case "$1" in
    --stride) stride=$2; shift 2 ;;
    --os) systems=$2; shift 2 ;;
    --units) units=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --strict) strict=1; shift ;;
    *) echo "sweep.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
work=$(mktemp -d "${TMPDIR:-/tmp}/pwsetup-sweep.XXXXXX")
export winsim here work
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The command of one unit on a machine: an installation step, or the uninstall.
unit_command() { # OS UNIT MACHINE
  if [ "$2" = uninstall ]; then "$winsim" uninstall "$3" scrub --answer cancel
  else "$winsim" run "$3" "$here/install-$2-$1.calls"; fi
}
# What a run's results are compared by: the registry, the spooler, every file and machine.ini
# (the journal, the sweep's own report, the lock file naming its last holder and the registry's
# files, which the export compares, left out).
machine_state() { # MACHINE
  # Each value with its key, sorted: the order keys were made in is no result.
  "$winsim" reg export "$1" | tr -d '\r' |
    awk '/^\[/ { key = $0; print; next } NF { print key "\t" $0 }' | sort
  "$winsim" show "$1"
  (cd "$1" && find . \( -path ./events.log -o -path ./.lock -o -name '*.reg' -o -name '*.reg.log' \) -prune -o -type f -print0 |
    sort -z | xargs -0 md5sum)
}
# Every key and every file or folder of a fresh machine, one a line.
fresh_items() { # MACHINE
  "$winsim" reg export "$1" | tr -d '\r' | grep '^\[' || true
  (cd "$1/drive_c" && find . | sort)
}
# The handle counts of a report's close lines, a kind=N a line, summed over its processes.
open_handles() { # REPORT
  grep -s '^close' "$1" | cut -d' ' -f4- | tr ' ' '\n' |
    awk -F= '{ n[$1] += $2 } END { for (k in n) print k "=" n[k] }' | sort
}
# The kinds a run leaves more handles of open than the run without the failure (which may hold
# some for the script: DLL_AddRegKey's key; or for Windows: a window class's brush); false when
# there are none.
left_open() { # REPORT REFERENCE-REPORT
  join -t= -a1 -e0 -o 0,1.2,2.2 <(open_handles "$1") <(open_handles "$2") |
    awk -F= '$2 > $3 { printf "%s=%d (without the failure %d) ", $1, $2, $3; found = 1 }
             END { exit !found }'
}
# The kinds of handle a call releases.
released_by() { # CALL
  case "$1" in
    RegCloseKey) echo keys ;;
    FindClose) echo finds ;;
    CloseHandle|_lclose) printf 'files\nkernel\n' ;;
    ClosePrinter) echo printers ;;
    GlobalFree) echo memory ;;
    DeleteObject|DeleteDC|ReleaseDC|DestroyWindow|UnregisterClassA) echo gdi ;;
    *) echo none ;;
  esac
}
export -f unit_command machine_state fresh_items open_handles left_open released_by

# One run: unit UNIT of system OS with its N-th failure point failed. Prints one line:
# "OS UNIT N CALL OUTCOME [WHY]"; keeps the run's output when the outcome is a fault.
run_one() { # OS UNIT N
  local os=$1 unit=$2 n=$3 ref="$work/$1/$2" dir="$work/runs/$1-$2-$3" rc=0 call outcome why=""
  mkdir -p "$dir"
  cp -a "$ref/before" "$dir/m"
  WINSIM_FAIL_AT=$n WINSIM_FAILPOINT_COUNT="$dir/report" unit_command "$os" "$unit" "$dir/m" \
    >"$dir/out" 2>"$dir/err" || rc=$?
  call=$(awk '$1 == "fail" { print $3; exit }' "$dir/report" 2>/dev/null || true)
  # `winsim uninstall` exits with PWUNINST's code (255 for -1) and says when it did not end.
  if { [ "$unit" != uninstall ] && [ "$rc" -ge 128 ]; } ||
     grep -q 'ended by signal\|ended without finishing' "$dir/out"; then
    outcome=crash why="exit $rc"
  elif grep -q 'Sanitizer\|runtime error:' "$dir/err"; then
    outcome=sanitizer why=$(grep -m1 'Sanitizer\|runtime error:' "$dir/err")
  elif why=$(left_open "$dir/report" "$ref/report"); then
    outcome=leak
    # A close that fails leaves its own handle open, whatever the caller does.
    if [ -z "$(grep -o '[a-z]*=' <<<"$why" | tr -d = | grep -vxF -f <(released_by "$call"))" ]; then
      outcome=unreleased why=""
    fi
  elif ! fresh_items "$dir/m" | sort >"$dir/items" ||
       [ -n "$(comm -23 "$work/$os/fresh" "$dir/items" | head -1)" ]; then
    outcome=root why="gone: $(comm -23 "$work/$os/fresh" "$dir/items" | head -3 | tr '\n' ' ')"
  elif [ -z "$call" ]; then
    outcome=unreached
  elif [ "$rc" -ne "$(cat "$ref/rc")" ] || ! cmp -s "$dir/out" "$ref/out"; then
    outcome=reported
  elif machine_state "$dir/m" >"$dir/state" 2>&1 && cmp -s "$dir/state" "$ref/state"; then
    outcome=absorbed
  elif [[ "$call" =~ ^Get(Private)?Profile ]]; then
    # A profile read that fails answers its default, as a missing key does: nothing to tell.
    outcome=default
  elif [ "$unit" = uninstall ]; then
    # The scrub run reports nothing but the restart: what a failure leaves is left quietly, as
    # a file in use is (a fault only when it is a key or file of Windows, above).
    outcome=left
  else
    outcome=silent why="every result as without the failure, the machine not"
  fi
  case "$outcome" in
    reported|absorbed|unreached|unreleased|left|default) rm -rf "$dir" ;;
    *) rm -rf "$dir/m" ;;
  esac
  echo "$os $unit $n ${call:--} $outcome${why:+ ($why)}"
}
export -f run_one

faulty=0
start=$(date +%s)
for os in $systems; do
  mkdir -p "$work/$os"
  "$winsim" new "$work/$os/fresh-machine" --os "$os" >/dev/null
  fresh_items "$work/$os/fresh-machine" | sort >"$work/$os/fresh"
  # The reference runs: each unit without a failure, on the machine the previous one left.
  machine="$work/$os/machine"
  stage_install "$winsim" "$machine" "$os" >/dev/null
  counted=""
  for unit in $install_steps uninstall; do
    ref="$work/$os/$unit"
    mkdir -p "$ref"
    [ "$unit" = uninstall ] && stage_running_utility "$machine"
    cp -a "$machine" "$ref/before"
    rc=0
    WINSIM_FAILPOINT_COUNT="$ref/report" unit_command "$os" "$unit" "$machine" >"$ref/out" 2>"$ref/err" || rc=$?
    echo "$rc" >"$ref/rc"
    machine_state "$machine" >"$ref/state"
    gone=$(comm -23 "$work/$os/fresh" <(fresh_items "$machine" | sort) | head -3 | tr '\n' ' ')
    if [ "$rc" -ne 0 ] || [ -s "$ref/err" ] || [ -n "$gone" ]; then
      echo "  FAULT $os $unit without a failure: exit $rc${gone:+, gone: $gone} ($ref)"
      faulty=1
    fi
    held=$(open_handles "$ref/report" | grep -v '=0$' | tr '\n' ' ' || true)
    [ -z "$held" ] || echo "  $os $unit holds at its end, without a failure: $held"
    points=$(awk '$1 == "close" { sub("reached=", "", $3); n += $3 } END { print n + 0 }' "$ref/report")
    counted="$counted $unit:$points"
  done
  total=0
  for u in $counted; do total=$((total + ${u#*:})); done
  echo "$os: $total failure points (${counted# }); failing every $stride. of them in:" $units
  for u in $counted; do
    case " $units " in *" ${u%:*} "*) seq 1 "$stride" "${u#*:}" | sed "s/^/$os ${u%:*} /" ;; esac
  done | xargs -r -P "$jobs" -L 1 bash -c 'run_one "$@"' _ >"$work/$os/results"
  awk '{ print $5 }' "$work/$os/results" | sort | uniq -c | awk '{ printf "  %s %d", $2, $1 } END { print "" }'
  while read -r line; do
    case "$(awk '{ print $5 }' <<<"$line")" in
      reported|absorbed|unreached|unreleased|left|default) ;;
      silent) echo "  SILENT $line"; [ -z "$strict" ] || faulty=1 ;;
      *) echo "  FAULT $line"; faulty=1 ;;
    esac
  done < <(sort -k2,2 -k3,3n "$work/$os/results")
done
echo "sweep: $(( $(date +%s) - start )) s with $jobs jobs"
if [ "$faulty" -ne 0 ]; then
  echo "sweep: faulty runs kept in $work/runs" >&2
  exit 1
fi
rm -rf "$work"
