#!/usr/bin/env bash
# make release: the zip an engraver downloads, the two kits a plug-in
# developer downloads, and SHA256SUMS, into dist/.
#   1. Builds the Windows module in Release in build/release-a, from this
#      tree, with the programs of the Windows tests, and packs it and the
#      Windows kit; builds melvara-sim in Release in build/release-a-linux
#      and packs the Linux kit.
#   2. Builds and packs all three again in build/release-b/build and
#      build/release-b/build-linux, from a copy of this tree in
#      build/release-b/src: the module and the archives must be the same
#      bytes.
#   3. Runs the package tests and the Windows tests under Wine on what step 1
#      packed, from build/release-a-linux.
#   4. Compares the module with its previous release (scripts/regress-release.sh):
#      a difference not reviewed stops the release.
#   5. Copies the three archives, and the kits' debug archives, into dist/,
#      with their SHA256SUMS.
# SOURCE_DATE_EPOCH, the time of the zip's entries, is the time of the last
# commit unless it is set. JOBS is the number of parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}
export JOBS=$jobs
first=$root/build/release-a
first_linux=$root/build/release-a-linux
second=$root/build/release-b

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

# windows_build SOURCE_DIR BUILD_DIR TARGET...: the preset release.
windows_build() {
  local source=$1 build=$2
  shift 2
  scripts/build.sh -S "$source" -B "$build" release "$@"
}

# linux_build SOURCE_DIR BUILD_DIR [-D NAME=VALUE]...: the Linux kit, preset
# release-linux.
linux_build() {
  local source=$1 build=$2
  shift 2
  scripts/build.sh -S "$source" -B "$build" "$@" release-linux kit_package
}

package_of() { # the one file in a build folder that matches a pattern
  local files=("$1"/$2)
  ((${#files[@]} == 1)) || { say "not one $2 in $1" >&2; exit 1; }
  echo "${files[0]}"
}
zip_of() { package_of "$1" "package/dist/qvzevedovuvedoza64-*-windows-x64.zip"; }
windows_kit_of() { package_of "$1" "package/kit/melvara-sim-*-windows-x64.zip"; }
linux_kit_of() { package_of "$1" "package/kit/melvara-sim-*-linux-x64.tar.gz"; }

say "1. building in ${first#"$root"/}"
rm -rf "$first/package/dist" "$first/package/kit" "$first_linux/package/kit"
windows_build "$root" "$first" all release_package kit_package
linux_build "$root" "$first_linux" -D MELVARA_WINDOWS_BUILD_DIR="$first"
module=$first/plugin/qvzevedovuvedoza64.mxt
shipped=("$(zip_of "$first")" "$(windows_kit_of "$first")" "$(linux_kit_of "$first_linux")")
# Each kit's program's debug information, beside it.
debug_of() {
  case "$1" in
    *.tar.gz) echo "${1%.tar.gz}-debug.tar.gz" ;;
    *) echo "${1%.zip}-debug.zip" ;;
  esac
}
shipped+=("$(debug_of "${shipped[1]}")" "$(debug_of "${shipped[2]}")")

say "2. building again in ${second#"$root"/}, from a copy of the tree"
rm -rf "$second"
mkdir -p "$second/src"
# What git tracks or would track, as it is in the tree now; not the build.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [[ -e "$file" ]] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | tar -xf - -C "$second/src"
windows_build "$second/src" "$second/build" release_package kit_package
linux_build "$second/src" "$second/build-linux" -D BUILD_TESTING=OFF -D MELVARA_WINDOWS_BUILD_DIR=
again=("$second/build/plugin/qvzevedovuvedoza64.mxt" "$(zip_of "$second/build")"
  "$(windows_kit_of "$second/build")" "$(linux_kit_of "$second/build-linux")")
again+=("$(debug_of "${again[2]}")" "$(debug_of "${again[3]}")")
built=("$module" "${shipped[@]}")
same=1
for i in "${!built[@]}"; do
  cmp -s "${built[$i]}" "${again[$i]}" || same=0
done
if ((same)); then
  say "reproducible: the two builds, from $root and from ${second#"$root"/}/src," \
    "gave the same module, zip and kits, byte for byte"
else
  say "NOT reproducible: the two builds differ:"
  sha256sum "${built[@]}" "${again[@]}"
  exit 1
fi

say "3. the package tests and the Windows tests under Wine, on what step 1 packed"
ctest --test-dir "$first_linux" -L 'package|wine' --output-on-failure -j"$jobs"

say "4. the module against its previous release"
scripts/regress-release.sh

say "5. into dist/"
mkdir -p dist
rm -f dist/*.zip dist/*.tar.gz dist/SHA256SUMS
cp "${shipped[@]}" dist/
(cd dist && sha256sum -- *.zip *.tar.gz >SHA256SUMS)
for file in "${shipped[@]}"; do say "dist/$(basename "$file")"; done
say "dist/SHA256SUMS:"
cat dist/SHA256SUMS
