#!/usr/bin/env bash
# make release: the zip an engraver downloads, and SHA256SUMS, into dist/.
#   1. Builds the Windows module in Release in build/release-a, from this
#      tree, with the programs of the Windows tests, and packs it.
#   2. Builds and packs it again in build/release-b/build, from a copy of
#      this tree in build/release-b/src: the module and the zip must be the
#      same bytes.
#   3. Runs the package test and the Windows tests under Wine on the module
#      of step 1, the one in the zip (their Linux side: build/release-tests).
#   4. Copies the zip and SHA256SUMS into dist/.
# SOURCE_DATE_EPOCH, the time of the zip's entries, is the time of the last
# commit unless it is set. JOBS is the number of parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}
first=$root/build/release-a
second=$root/build/release-b
tests=$root/build/release-tests

say() { echo "release: $*"; }

git rev-parse --git-dir >/dev/null 2>&1 || {
  say "needs a git checkout: the files to copy and the commit's time come from git" >&2
  exit 1
}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
if [[ -n "$(git status --porcelain)" ]]; then
  say "the tree has changes that are not committed: this package is not that of" \
    "commit $(git rev-parse --short HEAD)"
fi

# windows_build SOURCE_DIR BUILD_DIR TARGET...
windows_build() {
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$build" -j"$jobs" --target "$@"
}

package_of() { # the zip in a build folder
  local zips=("$1"/package/dist/qvzevedovuvedoza64-*-windows-x64.zip)
  ((${#zips[@]} == 1)) || { say "not one zip in $1/package/dist" >&2; exit 1; }
  echo "${zips[0]}"
}

say "1. building in ${first#"$root"/}"
rm -rf "$first/package/dist"
windows_build "$root" "$first" all release_package
module=$first/plugin/qvzevedovuvedoza64.mxt
zip=$(package_of "$first")

say "2. building again in ${second#"$root"/}, from a copy of the tree"
rm -rf "$second"
mkdir -p "$second/src"
# What git tracks or would track, as it is in the tree now; not the build.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [[ -e "$file" ]] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | tar -xf - -C "$second/src"
windows_build "$second/src" "$second/build" release_package
if cmp -s "$module" "$second/build/plugin/qvzevedovuvedoza64.mxt" &&
  cmp -s "$zip" "$(package_of "$second/build")"; then
  say "reproducible: the two builds, from $root and from ${second#"$root"/}/src," \
    "gave the same module and the same zip, byte for byte"
else
  say "NOT reproducible: the two builds differ:"
  sha256sum "$module" "$second/build/plugin/qvzevedovuvedoza64.mxt" \
    "$zip" "$(package_of "$second/build")"
  exit 1
fi

say "3. the package test and the Windows tests under Wine, on that module"
cmake -S "$root" -B "$tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMELVARA_WINDOWS_BUILD_DIR="$first" >/dev/null
ctest --test-dir "$tests" -L 'package|wine' --output-on-failure -j"$jobs"

say "4. into dist/"
mkdir -p dist
cp "$zip" "$first/package/dist/SHA256SUMS" dist/
say "dist/$(basename "$zip")"
say "dist/SHA256SUMS: $(cat dist/SHA256SUMS)"
