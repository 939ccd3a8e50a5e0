#!/usr/bin/env bash
# expect_none_left.sh COMMAND... [-- COMMAND...]...
# Runs the commands one after the other with MELVARA_TEST_PIDS naming a file
# into which the test modules write the ids of the processes they start, and
# passes when they started some and none of those is still running once the
# commands have ended. Those still running are named and ended.
set -u
pids=$(mktemp)
trap 'rm -f "$pids"' EXIT
export MELVARA_TEST_PIDS=$pids
command=()
for arg in "$@" --; do
  if [[ "$arg" != "--" ]]; then
    command+=("$arg")
    continue
  fi
  "${command[@]}" 2>&1
  echo "(exit status $?)"
  command=()
done
failed=0
if [[ ! -s "$pids" ]]; then
  echo "FAIL: the modules started no process"
  failed=1
fi
while read -r pid; do
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
  state=${stat##*) }
  state=${state%% *}
  [[ "$state" == Z ]] && continue
  echo "FAIL: process $pid is still running: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
  kill -KILL "$pid" 2>/dev/null
  failed=1
done <"$pids"
echo "$(wc -l <"$pids") processes were started; checked that none is left"
exit $failed
