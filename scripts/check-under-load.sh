#!/usr/bin/env bash
# Runs the tests of build/linux and build/asan (as make check does, ctest
# -j2 in each) several times in a row beside two busy processes, one per
# core of a two-core machine, and passes only when every run is green: a
# verdict must not hang on how busy the machine is.
#   scripts/check-under-load.sh [RUNS]     (default 5)
# The folders must be built (make check builds them). Each run's output is
# kept in build/check-under-load/; a line per run and folder says how it went.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [RUNS]" >&2
  exit 2
fi
folders=(build/linux build/asan)
for folder in "${folders[@]}"; do
  if [[ ! -f "$folder/CTestTestfile.cmake" ]]; then
    echo "check-under-load: $folder is not built (make check builds it)" >&2
    exit 2
  fi
done
logs=build/check-under-load
mkdir -p "$logs"

# Two processes that keep a core busy each, ended with the script.
busy=()
end_busy() {
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${busy[@]}"; do
    wait "$pid" 2>/dev/null
  done
}
trap end_busy EXIT
for _ in 1 2; do
  bash -c 'while :; do :; done' &
  busy+=($!)
done

failed=0
for run in $(seq "$runs"); do
  for folder in "${folders[@]}"; do
    log=$logs/run$run-${folder##*/}.log
    start=$SECONDS
    ctest --test-dir "$folder" --output-on-failure -j2 >"$log" 2>&1
    status=$?
    summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)
    echo "run $run of $runs, $folder: ${summary:-no summary} ($((SECONDS - start)) s)"
    if ((status != 0)); then
      failed=1
      grep -E '^[[:space:]]+[0-9]+ - ' "$log" | sed 's/^/  failed: /'
      echo "  log: $log"
    fi
  done
done
if ((failed)); then
  echo "check-under-load: not every run was green"
  exit 1
fi
echo "check-under-load: $runs runs of ${folders[*]} green beside two busy processes"
