#!/usr/bin/env bash
# Configures the build folder of a preset of CMakePresets.json and builds it,
# quietly: on a terminal, one line of progress that ends as one line saying
# what was built; in a pipe, only that line. Compiler errors and warnings
# are shown in full.
#   scripts/build.sh [-S SOURCE] [-B FOLDER] [-D NAME=VALUE]... PRESET [TARGET...]
# By default the source is this tree and the folder build/PRESET; -D sets a
# cache variable beyond the preset's. JOBS is the number of parallel jobs
# (default: the number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [-S SOURCE] [-B FOLDER] [-D NAME=VALUE]... PRESET [TARGET...]" >&2; exit 2; }
source=. dir="" defines=()
while getopts S:B:D: option; do
  case $option in
    S) source=$OPTARG ;;
    B) dir=$OPTARG ;;
    D) defines+=("-D$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
(($# >= 1)) || usage
preset=$1
shift
dir=${dir:-build/$preset}
jobs=${JOBS:-$(nproc)}
what=${*:-everything}

# A folder that an older checkout configured for make's own generator
# cannot take Ninja: it is configured anew.
if [[ -f $dir/CMakeCache.txt ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S "$source" --preset "$preset" -B "$dir" "${defines[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  echo "build: configuring $dir failed" >&2
  exit 1
fi

terminal=0
[[ -t 1 ]] && terminal=1
start=$SECONDS
targets=()
(($# > 0)) && targets=(--target "$@")
# Ninja marks its progress lines with the unit separator; the rest is what
# the commands printed, and Ninja's own errors.
set +e
NINJA_STATUS=$'\x1f%f %t\x1f' cmake --build "$dir" -j"$jobs" "${targets[@]}" 2>&1 |
  while IFS= read -r line; do
    if [[ $line == $'\x1f'* ]]; then
      if ((terminal)); then
        read -r done total _ <<<"${line//$'\x1f'/ }"
        printf '\r\033[K  building %s (%s): %d of %d steps' "$dir" "$what" "$done" "$total"
      fi
    elif [[ $line != "ninja: no work to do." ]]; then
      ((terminal)) && printf '\r\033[K'
      printf '%s\n' "$line"
    fi
  done
status=${PIPESTATUS[0]}
set -e
((terminal)) && printf '\r\033[K'
if ((status != 0)); then
  echo "build: building $dir ($what) failed" >&2
  exit "$status"
fi
echo "built $dir ($what) in $((SECONDS - start)) s"
