#!/usr/bin/env bash
# The repeat line of a failure runs as printed: validates a module that fails
# a check, started by a path that is not on PATH (or through Wine), in a
# folder of the module's own; then runs the printed line with sh in that
# folder and expects the fault again.
#   repeat_runs_as_printed.sh [--env FILE] WORK_DIR MODULE CHECK STATUS PATTERN -- PROGRAM...
# FILE is sourced first (a Wine session's settings). PROGRAM starts the host
# program, e.g. ../../sim/melvara-sim, or run_wine.sh SESSION MELVARA.EXE.
# The repeat line must exit with STATUS and print a line matching PATTERN.
set -euo pipefail

environment=""
if [[ "${1:-}" == "--env" ]]; then
  environment=$2
  shift 2
fi
(($# >= 7)) && [[ "$6" == "--" ]] || {
  echo "usage: $0 [--env FILE] WORK_DIR MODULE CHECK STATUS PATTERN -- PROGRAM..." >&2
  exit 2
}
work=$1 module=$2 check=$3 status=$4 pattern=$5
shift 6
rm -rf "$work"
mkdir -p "$work"
cp "$module" "$work/"
cd "$work"

output=$("$@" validate --module "./$(basename "$module")" --check "$check" 2>&1 || true)
output=${output//$'\r'/}
echo "$output"
line=$(sed -n 's/^      repeat: //p' <<< "$output" | head -1)
[[ -n "$line" ]] || { echo "FAIL: validate printed no repeat line"; exit 1; }
echo "repeat line: $line"
[[ -z "$environment" ]] || source "$environment"
set +e
again=$(sh -c "$line" 2>&1)
got=$?
set -e
again=${again//$'\r'/}
echo "$again"
failed=0
[[ "$got" == "$status" ]] || { echo "FAIL: the repeat line exited with $got, not $status"; failed=1; }
grep -Eq -- "$pattern" <<< "$again" || { echo "FAIL: no line of it matches: $pattern"; failed=1; }
exit $failed
