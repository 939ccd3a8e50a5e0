#!/usr/bin/env bash
# make regress-release: the module at HEAD against its previous release.
#   1. Takes the previous release's sources from git (the commit in
#      scripts/previous-release) into build/previous-release/COMMIT/src and
#      builds its Linux module there, once: a later run uses it again.
#   2. Builds this tree's module and melvara-sim in build/linux.
#   3. Runs melvara-sim regress, old against new, at level 3, accepting the
#      differences reviewed in scripts/previous-release-differences.json
#      (explained in the README's release notes); a new difference fails.
# The reports go to build/previous-release/regress.json and .xml. With
# --review, nothing is accepted: the JSON report then holds every group, to
# review and keep (its "groups") as the accepted differences.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
say() { echo "regress-release: $*"; }

accept=(--accept "$root/scripts/previous-release-differences.json")
if [[ "${1:-}" == "--review" ]]; then
  accept=()
elif (($# > 0)); then
  echo "usage: $0 [--review]" >&2
  exit 2
fi
git rev-parse --git-dir >/dev/null 2>&1 || {
  say "needs a git checkout: the previous release's sources come from git" >&2
  exit 1
}
read -r _ version < <(grep '^version ' scripts/previous-release)
read -r _ commit < <(grep '^commit ' scripts/previous-release)
folder=$root/build/previous-release
old=$folder/$commit/build/plugin/qvzevedovuvedoza64.so

if [[ ! -f "$old" ]]; then
  say "1. building the module of release $version (commit ${commit:0:7}) in ${folder#"$root"/}/${commit:0:7}..."
  rm -rf "$folder/$commit"
  mkdir -p "$folder/$commit/src"
  git archive "$commit" | tar -x -C "$folder/$commit/src"
  # Only its module, built as the linux preset builds this tree's (older
  # trees have no presets); its tests and tools are not needed.
  log=$folder/$commit/build.log
  if ! { cmake -S "$folder/$commit/src" -B "$folder/$commit/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF &&
    cmake --build "$folder/$commit/build" --target qvzevedovuvedoza64 -j "${JOBS:-$(nproc)}"; } \
    >"$log" 2>&1; then
    cat "$log" >&2
    say "building release $version failed" >&2
    exit 1
  fi
else
  say "1. the module of release $version (commit ${commit:0:7}) is built already"
fi

say "2. building this tree's module and melvara-sim"
scripts/build.sh linux qvzevedovuvedoza64 melvara-sim

say "3. release $version against this tree"
build/linux/sim/melvara-sim regress --old "$old" --new build/linux/plugin/qvzevedovuvedoza64.so \
  --level 3 "${accept[@]}" --json "$folder/regress.json" --junit "$folder/regress.xml"
