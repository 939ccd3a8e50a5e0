#!/usr/bin/env bash
# Checks the kit a plug-in developer downloads, and that what ships works:
#   check_kit.sh linux KIT_DIR
#   check_kit.sh windows KIT_DIR RUNNER...
# KIT_DIR holds one melvara-sim-VERSION-linux-x64.tar.gz (or -windows-x64.zip).
# Checks: its entries, exactly, in one folder; the headers, the example and
# the licence equal to this tree's; the guide names VERSION; the program
# (melvara-sim: --version, no C++ runtime needed, no newer C library than the
# guide states; MELVARA.EXE: imports only system DLLs). Then builds the
# example from the packed sources with the packed Makefile and validates it
# at levels 1 to 3 with the packed program (on Windows run by RUNNER, for
# example run_wine.sh SESSION).
set -euo pipefail

(($# >= 2)) || { echo "usage: $0 linux|windows KIT_DIR [RUNNER...]" >&2; exit 2; }
kind=$1
kit_dir=$2
shift 2
tree=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

shopt -s nullglob
case "$kind" in
  linux) archives=("$kit_dir"/melvara-sim-*-linux-x64.tar.gz) program=melvara-sim ;;
  windows) archives=("$kit_dir"/melvara-sim-*-windows-x64.zip) program=MELVARA.EXE ;;
  *) echo "no such kind: $kind" >&2; exit 2 ;;
esac
((${#archives[@]} == 1)) || { echo "FAIL: not one kit in $kit_dir: ${archives[*]:-none}"; exit 1; }
archive=${archives[0]}
name=$(basename "$archive")
name=${name%.tar.gz}
name=${name%.zip}
version=${name#melvara-sim-}
version=${version%-*-x64}
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "FAIL: no version in $name"; exit 1; }
echo "kit: $(basename "$archive")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [[ "$kind" == linux ]]; then
  entries=$(tar -tzf "$archive" | grep -v '/$' | sort)
  tar -xzf "$archive" -C "$work"
else
  entries=$(unzip -Z1 "$archive" | sort)
  unzip -q "$archive" -d "$work"
fi
expected=$( (cd "$tree" && ls contract/*.h examples/count-tuplets/*) | sed "s|^|$name/|"
  printf '%s\n' "$name/README.txt" "$name/LICENSE.txt" "$name/$program")
expected=$(sort <<< "$expected")
[[ "$entries" == "$expected" ]] && ok "entries: $(wc -l <<< "$entries") in $name/" || {
  fail "the entries differ (< expected, > packed)"
  diff <(echo "$expected") <(echo "$entries") || true
}
kit=$work/$name

same=1
for file in $(cd "$tree" && ls contract/*.h examples/count-tuplets/*); do
  cmp -s "$tree/$file" "$kit/$file" || { fail "$file differs from the tree's"; same=0; }
done
cmp -s "$tree/LICENSE" "$kit/LICENSE.txt" || { fail "LICENSE.txt differs"; same=0; }
((same)) && ok "the headers, the example and the licence are this tree's"
head -1 "$kit/README.txt" | grep -q "^melvara-sim $version:" && ok "the guide is that of $version" ||
  fail "the guide's first line does not name $version"

if [[ "$kind" == linux ]]; then
  "$kit/melvara-sim" --version | grep -q "$version" && ok "melvara-sim --version names $version" ||
    fail "melvara-sim --version does not name $version"
  needed=$(objdump -p "$kit/melvara-sim" | sed -n 's/^ *NEEDED *//p' | xargs)
  [[ "$needed" != *libstdc++* && "$needed" != *libgcc* ]] && ok "needs $needed" ||
    fail "needs a C++ runtime: $needed"
  stated=$(sed -n "s/.*(Debian: libc6 (>= \\([0-9.]*\\))).*/\\1/p" "$kit/README.txt")
  newest=$(objdump -T "$kit/melvara-sim" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' |
    sort -V | tail -1)
  [[ -n "$stated" && "$(printf '%s\n' "$newest" "$stated" | sort -V | tail -1)" == "$stated" ]] &&
    ok "uses the C library up to $newest; the guide states $stated" ||
    fail "uses the C library up to $newest; the guide states \"$stated\""
  make -s -C "$kit/examples/count-tuplets" so || fail "the packed Makefile does not build the .so"
  module=count-tuplets.so
  run=("$kit/melvara-sim")
else
  imports=$(x86_64-w64-mingw32-objdump -p "$kit/MELVARA.EXE" | sed -n 's/^\s*DLL Name: //p' |
    tr 'a-z' 'A-Z' | grep -vxE 'KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL|API-MS-WIN-CRT-.*' || true)
  [[ -z "$imports" ]] && ok "MELVARA.EXE imports only system DLLs" ||
    fail "MELVARA.EXE imports $(echo $imports)"
  make -s -C "$kit/examples/count-tuplets" mxt || fail "the packed Makefile does not build the .mxt"
  module=count-tuplets.mxt
  run=("$@" "$kit/MELVARA.EXE")
fi

(($# > 0)) || [[ "$kind" == linux ]] || { echo "no RUNNER for MELVARA.EXE" >&2; exit 2; }
if (cd "$kit/examples/count-tuplets" && "${run[@]}" validate --module "./$module" --level 3) \
  >"$work/validate.txt" 2>&1; then
  ok "the packed program passes the packed example: $(tail -1 "$work/validate.txt" | tr -d '\r')"
else
  fail "the packed program fails the packed example:"
  cat "$work/validate.txt"
fi

exit $((failures > 0))
