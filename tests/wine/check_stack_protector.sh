#!/usr/bin/env bash
# Checks the stack protector of the Windows builds with stack_protector_test,
# a program built with the module's flags, run under Wine:
#   check_stack_protector.sh PROGRAM RUN_WINE...
# - the guard is seeded when the program starts: its low byte is zero, which
#   the built-in value's is not, and two runs get different guards;
# - an overrun of a local array, and a checked copy past the end of its
#   buffer, end the process with STATUS_STACK_BUFFER_OVERRUN (0xC0000409;
#   Wine gives its low byte, 9, as the exit status).
set -uo pipefail

(($# >= 2)) || { echo "usage: $0 PROGRAM RUN_WINE..." >&2; exit 2; }
program=$1
shift
failures=0
check() { # check CONDITION_STATUS WHAT
  if (($1 == 0)); then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}

first=$("$@" "$program" guard | tr -d '\r')
second=$("$@" "$program" guard | tr -d '\r')
echo "guards: $first $second"
[[ "$first" =~ ^[0-9a-f]{14}00$ && "$second" =~ ^[0-9a-f]{14}00$ ]]
check $? "the guard is seeded at start"
[[ "$first" != "$second" ]]
check $? "two runs get different guards"

for mode in smash fortify; do
  output=$("$@" "$program" "$mode" 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  [[ -n "$output" ]] && echo "$output"
  [[ $status -eq 9 ]]
  check $? "$mode: the process ends with STATUS_STACK_BUFFER_OVERRUN (exit status $status)"
done

exit $((failures > 0))
