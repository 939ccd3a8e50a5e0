#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that the given make targets
# need, and only those that are missing. Quick when everything is there.
#   setup.sh TARGET...    demo linux asan windows release check bench fuzz all
set -euo pipefail

# The Linux build: the module, melvara-sim and the tests.
linux=(cmake make g++ git binutils libgtest-dev libgmock-dev nlohmann-json3-dev)
# The Windows cross build: the module, MELVARA.EXE and the test programs.
windows=(cmake make git mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
# Running the Windows tests under Wine, on a virtual display.
wine=(wine wine64 xvfb xauth)
# Packing the release zip and testing it.
package=(zip unzip)
fuzz=(clang libclang-rt-14-dev)
bench=(libbenchmark-dev)

(($# > 0)) || { echo "usage: $0 TARGET..." >&2; exit 2; }
wanted=()
for target in "$@"; do
  case "$target" in
    demo | linux | asan) wanted+=("${linux[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    release) wanted+=("${windows[@]}" "${package[@]}" "${linux[@]}" "${wine[@]}") ;;
    check) wanted+=("${linux[@]}" "${windows[@]}" "${wine[@]}" "${package[@]}" "${fuzz[@]}") ;;
    fuzz) wanted+=("${linux[@]}" "${fuzz[@]}") ;;
    bench) wanted+=("${linux[@]}" "${bench[@]}") ;;
    all) wanted+=("${linux[@]}" "${windows[@]}" "${wine[@]}" "${package[@]}" "${fuzz[@]}"
      "${bench[@]}") ;;
    *) echo "setup: no such target: $target" >&2; exit 2 ;;
  esac
done

# One question to dpkg for all of them.
installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${wanted[@]}" 2>/dev/null |
  awk '$2 == "ii" {print $1}' || true)
missing=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  grep -qxF "$p" <<< "$installed" || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
echo "setup: done"
