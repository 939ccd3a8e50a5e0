#!/usr/bin/env bash
# Runs one end-to-end case against a host program and checks what it printed
# and the score it left.
#
#   run_case.sh CASE_DIR WORK_DIR MODULE SAMPLES_DIR HOST_COMMAND...
#
# HOST_COMMAND is how to start the host, e.g. build/linux/sim/melvara-sim, or
# "xvfb-run -a wine MELVARA.EXE" given as several words. The host runs inside
# WORK_DIR, which is made afresh and holds copies of the module and the
# sample scores, so that every path it gets is relative.
#
# A case is a folder of steps, run in order: step1, step2, ...
#   stepN.args         the host's arguments, one per line (a line may hold
#                      spaces); @MODULE@ is the module, @OUT@ this step's
#                      result file, @PREV@ the previous step's
#   stepN.out          the expected standard output (carriage returns are
#                      stripped from the actual output before comparing)
#   stepN.status       the expected exit status (default 0)
#   stepN.score.json   the score @OUT@ must hold, compared field by field
#                      with the host's own "diff" command
#   stepN.unchanged    instead: the name of the sample @OUT@ must equal
# Any other .json file in the case folder is a score of the case's own, put
# beside the samples.
set -u

if (($# < 5)); then
  echo "usage: $0 CASE_DIR WORK_DIR MODULE SAMPLES_DIR HOST_COMMAND..." >&2
  exit 2
fi
case_dir=$(cd "$1" && pwd)
work=$2
module=$3
samples=$4
shift 4
host=("$@")

rm -rf "$work"
mkdir -p "$work"
cp "$samples"/*.json "$work"/
for score in "$case_dir"/*.json; do
  [[ -f "$score" && "$(basename "$score")" != step*.score.json ]] && cp "$score" "$work"/
done
cp "$module" "$work"/
module_name=./$(basename "$module")
cd "$work" || exit 2

failed=0
fail() {
  echo "FAIL ($(basename "$case_dir") step $step): $*"
  failed=1
}

step=1
while [[ -f "$case_dir/step$step.args" ]]; do
  out=step$step-result.json
  prev=step$((step - 1))-result.json
  args=()
  while IFS= read -r line || [[ -n "$line" ]]; do
    line=${line%$'\r'}
    line=${line//@MODULE@/$module_name}
    line=${line//@OUT@/$out}
    line=${line//@PREV@/$prev}
    args+=("$line")
  done <"$case_dir/step$step.args"

  "${host[@]}" "${args[@]}" >"step$step.stdout" 2>"step$step.stderr"
  status=$?
  tr -d '\r' <"step$step.stdout" >"step$step.actual"

  expected_status=0
  [[ -f "$case_dir/step$step.status" ]] && expected_status=$(tr -d '\r\n ' <"$case_dir/step$step.status")
  if [[ "$status" != "$expected_status" ]]; then
    fail "exit status $status, expected $expected_status"
    cat "step$step.stderr"
  fi
  if ! diff -u "$case_dir/step$step.out" "step$step.actual" >"step$step.diff"; then
    fail "output differs from step$step.out:"
    cat "step$step.diff"
  fi

  expected_score=""
  if [[ -f "$case_dir/step$step.score.json" ]]; then
    cp "$case_dir/step$step.score.json" "expected-step$step.json"
    expected_score=expected-step$step.json
  elif [[ -f "$case_dir/step$step.unchanged" ]]; then
    expected_score=$(tr -d '\r\n ' <"$case_dir/step$step.unchanged")
  fi
  if [[ -n "$expected_score" ]]; then
    if [[ ! -f "$out" ]]; then
      fail "no result score $out"
    elif ! "${host[@]}" diff "$expected_score" "$out" >"step$step.score-diff" 2>&1; then
      fail "the result score differs from $expected_score:"
      tr -d '\r' <"step$step.score-diff"
    fi
  fi
  step=$((step + 1))
done

if ((step == 1)); then
  echo "FAIL: no step1.args in $case_dir"
  exit 1
fi
if ((failed)); then
  echo "work files kept in $work"
  exit 1
fi
echo "ok: $(basename "$case_dir"), $((step - 1)) step(s)"
