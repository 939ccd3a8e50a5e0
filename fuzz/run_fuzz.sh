#!/usr/bin/env bash
# Runs one libFuzzer target for a while and fails when it finds an input
# that breaks a property, crashes, leaks or hangs.
#
#   run_fuzz.sh TARGET SEED_CORPUS WORK_DIR SECONDS
#
# The committed seed corpus is only read; what the run adds goes to
# WORK_DIR/corpus, crashing inputs to WORK_DIR/artifacts. A dictionary
# fuzz/dict/NAME.dict for the corpus fuzz/corpus/NAME is used when there is
# one. The last lines
# give the executions, the coverage (cov: edges, ft: features) and the
# corpus size.
set -u
if (($# != 4)); then
  echo "usage: $0 TARGET SEED_CORPUS WORK_DIR SECONDS" >&2
  exit 2
fi
target=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus" "$work/artifacts" "$seeds"
log=$work/fuzz.log
dict=$(dirname "$seeds")/../dict/$(basename "$seeds").dict
options=()
[[ -f "$dict" ]] && options+=("-dict=$dict")
"$target" "$work/corpus" "$seeds" "${options[@]}" \
  -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" >"$log" 2>&1
status=$?
if ((status != 0)); then
  tail -n 60 "$log"
  echo "FAIL: $(basename "$target") exited with $status; inputs kept in $work/artifacts"
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|peak_rss_mb)' "$log"
echo "ok: $(basename "$target"), $seconds s"
