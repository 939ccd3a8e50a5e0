#!/usr/bin/env bash
# Runs a Windows program in the Wine session that session.sh started.
#   run_wine.sh SESSION_DIR [--as NAME] PROGRAM [ARGUMENTS...]
# PROGRAM is a path; it runs in the current folder, so relative paths among
# the arguments work as for a native program. With --as, a copy of it named
# NAME runs instead (kept in SESSION_DIR/as/), for what depends on the
# program's file name.
set -euo pipefail

usage() {
  echo "usage: $0 SESSION_DIR [--as NAME] PROGRAM [ARGUMENTS...]" >&2
  exit 2
}
(($# >= 2)) || usage
session=$1
shift
name=""
if [[ "$1" == "--as" ]]; then
  (($# >= 3)) || usage
  name=$2
  shift 2
fi
program=$1
shift
if [[ ! -f "$session/env" ]]; then
  echo "no Wine session in $session: start one with session.sh start" >&2
  exit 2
fi
if [[ -n "$name" ]]; then
  mkdir -p "$session/as"
  cmp -s "$program" "$session/as/$name" || cp "$program" "$session/as/$name"
  program=$session/as/$name
fi
# shellcheck source=/dev/null
source "$session/env"
exec wine "$program" "$@"
