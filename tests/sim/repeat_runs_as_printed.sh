#!/usr/bin/env bash
# The repeat line of a failure runs as printed: validates a module that fails
# a check, started by a path that is not on PATH (or through Wine), in a
# folder of the module's own; then runs the printed line with sh in that
# folder and expects the fault again.
#   repeat_runs_as_printed.sh [--env FILE] [--name NAME] WORK_DIR MODULE CHECK STATUS PATTERN
#                             [OPTION...] -- PROGRAM...
# FILE is sourced first (a Wine session's settings). NAME is the module's
# file name in the folder (its own by default); OPTIONs are validate's.
# PROGRAM starts the host program, e.g. ../../sim/melvara-sim, or
# run_wine.sh SESSION MELVARA.EXE. The repeat line must exit with STATUS
# and print a line matching PATTERN, within two minutes.
set -euo pipefail

environment="" name=""
while [[ "${1:-}" == "--env" || "${1:-}" == "--name" ]]; do
  [[ $1 == "--env" ]] && environment=$2 || name=$2
  shift 2
done
usage() {
  echo "usage: $0 [--env FILE] [--name NAME] WORK_DIR MODULE CHECK STATUS PATTERN [OPTION...]" \
       "-- PROGRAM..." >&2
  exit 2
}
(($# >= 6)) || usage
work=$1 module=$2 check=$3 status=$4 pattern=$5
shift 5
options=()
while (($# > 0)) && [[ $1 != "--" ]]; do
  options+=("$1")
  shift
done
(($# >= 2)) || usage
shift
name=${name:-$(basename "$module")}
rm -rf "$work"
mkdir -p "$work"
cp "$module" "$work/$name"
cd "$work"

output=$("$@" validate --module "./$name" --check "$check" "${options[@]}" 2>&1 || true)
output=${output//$'\r'/}
echo "$output"
line=$(sed -n 's/^      repeat: //p' <<< "$output" | head -1)
[[ -n "$line" ]] || { echo "FAIL: validate printed no repeat line"; exit 1; }
echo "repeat line: $line"
[[ -z "$environment" ]] || source "$environment"
set +e
# A repeat line that lost its time limit would wait for ever.
again=$(timeout -k 5 120 sh -c "$line" 2>&1)
got=$?
set -e
again=${again//$'\r'/}
echo "$again"
failed=0
[[ "$got" == "$status" ]] || { echo "FAIL: the repeat line exited with $got, not $status"; failed=1; }
grep -Eq -- "$pattern" <<< "$again" || { echo "FAIL: no line of it matches: $pattern"; failed=1; }
exit $failed
