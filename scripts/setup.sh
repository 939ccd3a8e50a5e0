#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that the given make targets
# need, and only those that are missing. Quick when everything is there.
#   setup.sh TARGET...          install what the targets need
#   setup.sh --list TARGET...   print the packages, one a line, install nothing
# Targets: the make targets demo linux windows kit asan fuzz check release bench,
# scale (scripts/sim-scale.sh), plot (scripts/sim-scale-plot.sh) and all.
# tests/setup/check_packages.sh fails make check when a build or a test uses
# a package that is not named here for its target.
set -euo pipefail

# CMake builds, with Ninja.
build=(cmake ninja-build make git)
# The Linux build: the module, melvara-sim and the tests (nm and objdump
# from binutils; the validator's reports read back with nlohmann-json).
linux=("${build[@]}" g++ binutils libgtest-dev libgmock-dev nlohmann-json3-dev)
# The Windows cross build: the module, MELVARA.EXE and the test programs.
windows=("${build[@]}" mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
# Running the Windows tests under Wine, on a virtual display.
wine=(wine wine64 xvfb xauth)
# Packing the release zip and testing it.
package=(zip unzip)
# clang with its sanitizer and libFuzzer runtimes: the asan build, which
# also holds the fuzz targets.
clang=(clang libclang-rt-14-dev)
# The benchmarks, and counting instructions with callgrind.
bench=(libbenchmark-dev valgrind)

list=0
if [[ ${1:-} == --list ]]; then
  list=1
  shift
fi
(($# > 0)) || { echo "usage: $0 [--list] TARGET..." >&2; exit 2; }
wanted=()
for target in "$@"; do
  case "$target" in
    demo | linux) wanted+=("${linux[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    kit) wanted+=("${linux[@]}" "${windows[@]}" "${package[@]}") ;;
    asan | fuzz) wanted+=("${linux[@]}" "${clang[@]}") ;;
    check) wanted+=("${linux[@]}" "${windows[@]}" "${wine[@]}" "${package[@]}" "${clang[@]}") ;;
    release) wanted+=("${windows[@]}" "${package[@]}" "${linux[@]}" "${wine[@]}") ;;
    bench) wanted+=("${linux[@]}" "${bench[@]}") ;;
    scale) wanted+=("${linux[@]}" time) ;;
    plot) wanted+=(gnuplot-nox) ;;
    all) wanted+=("${linux[@]}" "${windows[@]}" "${wine[@]}" "${package[@]}" "${clang[@]}"
      "${bench[@]}" time gnuplot-nox) ;;
    *) echo "setup: no such target: $target" >&2; exit 2 ;;
  esac
done
mapfile -t wanted < <(printf '%s\n' "${wanted[@]}" | sort -u)

if ((list)); then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

# One question to dpkg for all of them.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${wanted[@]}" 2>/dev/null |
  awk '$2 == "ii" {print $1}' || true)
missing=()
for p in "${wanted[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
((${#missing[@]} > 0)) || exit 0

echo "setup: installing ${missing[*]} (for make $*)"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "setup: apt-get could not install ${missing[*]}" >&2
  exit 1
fi
