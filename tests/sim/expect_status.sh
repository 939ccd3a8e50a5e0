#!/usr/bin/env bash
# expect_status.sh STATUS PATTERN... -- COMMAND...
# Runs the command and passes when it exits with STATUS and every extended
# regular expression matches a line of its output (carriage returns taken
# out).
set -u
expected=$1
shift
patterns=()
while (($# > 0)) && [[ "$1" != "--" ]]; do
  patterns+=("$1")
  shift
done
shift
output=$("$@" 2>&1)
status=$?
# Lines of a Windows program end in CR LF.
output=${output//$'\r'/}
printf '%s\n' "$output"
failed=0
if [[ "$status" != "$expected" ]]; then
  echo "FAIL: exit status $status, expected $expected"
  failed=1
fi
for pattern in "${patterns[@]}"; do
  if ! grep -Eq -- "$pattern" <<<"$output"; then
    echo "FAIL: no line matches: $pattern"
    failed=1
  fi
done
exit $failed
