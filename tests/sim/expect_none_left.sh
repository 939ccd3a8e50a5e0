#!/usr/bin/env bash
# expect_none_left.sh COMMAND...
# Runs the command with MELVARA_TEST_PIDS naming a file into which the test
# modules note each process they start ("pid N" on Linux; on Windows the
# file's name goes into the process's command line), and passes when the
# command passes, its modules started some process and none of those is
# still running once it has ended. Those still running are named and ended.
set -u
pids=$(mktemp)
trap 'rm -f "$pids"' EXIT
export MELVARA_TEST_PIDS=$pids
"$@" 2>&1
status=$?
failed=0
if ((status != 0)); then
  echo "FAIL: exit status $status"
  failed=1
fi
if [[ ! -s "$pids" ]]; then
  echo "FAIL: the modules started no process"
  failed=1
fi
# A process that runs: /proc/PID/stat shows a state other than Z.
running() {
  local stat state
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  state=${stat##*) }
  [[ "${state%% *}" != Z ]]
}
left=()
while read -r word pid; do
  [[ "$word" == pid ]] && running "$pid" && left+=("$pid")
done <"$pids"
for folder in /proc/[0-9]*; do
  pid=${folder#/proc/}
  line=$(tr '\0' ' ' 2>/dev/null <"$folder/cmdline") || continue
  [[ "$line" == *"$pids"* && "$pid" != "$$" ]] && running "$pid" && left+=("$pid")
done
for pid in "${left[@]}"; do
  echo "FAIL: process $pid is still running: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  kill -KILL "$pid" 2>/dev/null
  failed=1
done
echo "$(wc -l <"$pids") processes were started; none may be left running"
exit $failed
