#!/usr/bin/env bash
# Checks the kit a plug-in developer downloads, and that what ships works:
#   check_kit.sh linux KIT_DIR
#   check_kit.sh windows KIT_DIR RUNNER...
# KIT_DIR holds one melvara-sim-VERSION-linux-x64.tar.gz (or -windows-x64.zip)
# and its -debug archive. Checks: the kit's entries, exactly, in one folder;
# the headers, the change log, the examples, the template and the samples
# equal to this tree's; SHA256SUMS; the guide names VERSION; the program
# stripped, naming its debug file, which the debug archive holds with the
# debug information, and neither naming a folder of this machine; the
# program itself (melvara-sim: --version, no C++ runtime needed, no newer C
# library than the guide states; MELVARA.EXE: imports only system DLLs).
# Then builds the example from the packed sources with the packed Makefile
# and validates it at levels 1 to 3 with the packed program, and does the
# same with a module made from the packed template in a folder of its own
# (on Windows the programs run by RUNNER, for example run_wine.sh SESSION);
# and compares the example with itself (regress).
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
  linux)
    archives=("$kit_dir"/melvara-sim-*-linux-x64.tar.gz) program=melvara-sim
    objdump=objdump
    ;;
  windows)
    archives=("$kit_dir"/melvara-sim-*-windows-x64.zip) program=MELVARA.EXE
    objdump=x86_64-w64-mingw32-objdump
    ;;
  *) echo "no such kind: $kind" >&2; exit 2 ;;
esac
((${#archives[@]} == 1)) || { echo "FAIL: not one kit in $kit_dir: ${archives[*]:-none}"; exit 1; }
archive=${archives[0]}
name=$(basename "$archive")
name=${name%.tar.gz}
name=${name%.zip}
debug_archive=$kit_dir/$name-debug${archive#"$kit_dir/$name"}
version=${name#melvara-sim-}
version=${version%-*-x64}
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "FAIL: no version in $name"; exit 1; }
echo "kit: $(basename "$archive")"
[[ -f "$debug_archive" ]] || { echo "FAIL: no debug archive $debug_archive"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/debug"
if [[ "$kind" == linux ]]; then
  entries=$(tar -tzf "$archive" | grep -v '/$' | sort)
  tar -xzf "$archive" -C "$work"
  debug_entries=$(tar -tzf "$debug_archive" | grep -v '/$')
  tar -xzf "$debug_archive" -C "$work/debug"
else
  entries=$(unzip -Z1 "$archive" | sort)
  unzip -q "$archive" -d "$work"
  debug_entries=$(unzip -Z1 "$debug_archive")
  unzip -q "$debug_archive" -d "$work/debug"
fi
# The tree's files that ship, as the kit names them.
shipped=$(cd "$tree" && ls contract/*.h contract/CHANGELOG.md examples/count-tuplets/* \
  examples/template/* examples/template/.github/workflows/* samples/*.json)
expected=$( (echo "$shipped"; printf '%s\n' README.txt LICENSE.txt SHA256SUMS "$program") |
  sed "s|^|$name/|" | sort)
[[ "$entries" == "$expected" ]] && ok "entries: $(wc -l <<< "$entries") in $name/" || {
  fail "the entries differ (< expected, > packed)"
  diff <(echo "$expected") <(echo "$entries") || true
}
kit=$work/$name

same=1
for file in $shipped; do
  cmp -s "$tree/$file" "$kit/$file" || { fail "$file differs from the tree's"; same=0; }
done
cmp -s "$tree/LICENSE" "$kit/LICENSE.txt" || { fail "LICENSE.txt differs"; same=0; }
((same)) && ok "the headers, the examples, the template, the samples and the licence are this tree's"
head -1 "$kit/README.txt" | grep -q "^melvara-sim $version:" && ok "the guide is that of $version" ||
  fail "the guide's first line does not name $version"
listed=$(cut -c67- "$kit/SHA256SUMS" | sed "s|^|$name/|" | sort)
if (cd "$kit" && sha256sum --check --quiet SHA256SUMS) &&
  [[ "$listed" == "$(grep -vx "$name/SHA256SUMS" <<< "$expected")" ]]; then
  ok "SHA256SUMS holds every other file, and each checks"
else
  fail "SHA256SUMS does not hold every other file, or one does not check"
fi

# Stripped, naming its debug file by name and checksum (the CRC-32 that
# gzip keeps in its trailer); the debug file with the debug information.
sections=$("$objdump" -h "$kit/$program")
debug_file=$work/debug/$name/$program.debug
[[ "$debug_entries" == "$name/$program.debug" ]] && ok "the debug archive holds $program.debug" ||
  fail "the debug archive holds \"$debug_entries\", not $name/$program.debug"
if grep -q ' \.debug_info ' <<< "$sections" || [[ "$kind" == linux && "$sections" == *" .symtab "* ]]; then
  fail "$program is not stripped"
elif ! grep -q ' \.gnu_debuglink ' <<< "$sections"; then
  fail "$program does not name its debug file"
else
  link=$("$objdump" -s -j .gnu_debuglink "$kit/$program" |
    sed -n 's/^ [0-9a-f]* \(\([0-9a-f]\{2,8\} \)\{1,4\}\).*/\1/p' | tr -d ' \n')
  crc=$(gzip -c "$debug_file" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
  link_name=$(printf '%s' "$program.debug" | od -An -tx1 | tr -d ' \n')
  [[ "$link" == "$link_name"00* && "$link" == *"$crc" ]] &&
    ok "$program is stripped ($(stat -c %s "$kit/$program") bytes) and names $program.debug" ||
    fail "$program's debug link ($link) names another file than $program.debug ($crc)"
fi
debug_sections=$("$objdump" -h "$debug_file")
grep -q ' \.debug_info ' <<< "$debug_sections" && ok "$program.debug holds the debug information" ||
  fail "$program.debug holds no debug information"
if grep -q -F "$tree" "$kit/$program" "$debug_file"; then
  fail "the program or its debug file names the folder $tree"
else
  ok "neither the program nor its debug file names a folder of this machine"
fi

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
  template_target=so
  run=("$kit/melvara-sim")
else
  imports=$(x86_64-w64-mingw32-objdump -p "$kit/MELVARA.EXE" | sed -n 's/^\s*DLL Name: //p' |
    tr 'a-z' 'A-Z' | grep -vxE 'KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MSVCRT.DLL|API-MS-WIN-CRT-.*' || true)
  [[ -z "$imports" ]] && ok "MELVARA.EXE imports only system DLLs" ||
    fail "MELVARA.EXE imports $(echo $imports)"
  stamps=$(TZ=UTC x86_64-w64-mingw32-objdump -p "$kit/MELVARA.EXE" "$debug_file" | grep -c '^Time/Date.*1970$')
  ((stamps == 2)) && ok "MELVARA.EXE and its debug file bear no time stamp" ||
    fail "MELVARA.EXE or its debug file bears a time stamp"
  make -s -C "$kit/examples/count-tuplets" mxt || fail "the packed Makefile does not build the .mxt"
  module=count-tuplets.mxt
  template_target=mxt
  run=("$@" "$kit/MELVARA.EXE")
fi

(($# > 0)) || [[ "$kind" == linux ]] || { echo "no RUNNER for MELVARA.EXE" >&2; exit 2; }
# validate_in FOLDER MODULE WHAT: the packed program passes the module.
validate_in() {
  if (cd "$1" && "${run[@]}" validate --module "./$2" --level 3) >"$work/validate.txt" 2>&1; then
    ok "the packed program passes $3: $(tail -1 "$work/validate.txt" | tr -d '\r')"
  else
    fail "the packed program fails $3:"
    cat "$work/validate.txt"
  fi
}
validate_in "$kit/examples/count-tuplets" "$module" "the packed example"

# A module of its own from the template, outside the kit: two commands, one
# saving records, each showing two message boxes.
cp -r "$kit/examples/template" "$work/tuplet-tools"
if make -s -C "$work/tuplet-tools" KIT="$kit" NAME=tuplet-tools "$template_target"; then
  validate_in "$work/tuplet-tools" "tuplet-tools.$template_target" "a module made from the template"
else
  fail "the template's Makefile does not build tuplet-tools.$template_target"
fi
if (cd "$kit/examples/count-tuplets" &&
  "${run[@]}" regress --old "./$module" --new "./$module" --level 1 --speed-runs 0) \
  >"$work/regress.txt" 2>&1; then
  ok "the packed program compares two builds: $(tail -1 "$work/regress.txt" | tr -d '\r')"
else
  fail "the packed program's regress of the example against itself:"
  cat "$work/regress.txt"
fi

exit $((failures > 0))
