#!/usr/bin/env bash
# Fails when a configured build or its tests use a Debian package that
# scripts/setup.sh does not install for the make target behind them: on a
# fresh machine that target would then fail, although it passes here.
#
#   check_packages.sh PROJECT_DIR BUILD_ROOT
#   check_packages.sh --self-test PROJECT_DIR
#
# Each folder BUILD_ROOT/*/ with a CMakeCache.txt is looked at. Its cache
# names the make target that configures it (MELVARA_SETUP_TARGET) and the
# one that runs its tests (MELVARA_SETUP_TESTS_TARGET, else the same);
# folders without one were not configured by make and are passed over.
# What a build used: every file of the cache (compilers, tools, package
# config folders: entries whose value is a path into the system). What its
# tests use: the program each test starts, and any system file named on its
# command line (ctest --show-only=json-v1). dpkg names the package that owns
# each file. The packages that setup.sh installs for a target are the ones
# it names and everything apt installs with them (depends, pre-depends and
# recommends, as installed here). Packages of priority required, and what
# they need, are on every Debian system and never count as missing.
#
# --self-test checks the check: a made-up build folder of target linux
# whose cache names a program of a package that setup.sh installs only for
# other targets must fail, naming both.
set -euo pipefail

usage() {
  echo "usage: $0 PROJECT_DIR BUILD_ROOT | --self-test PROJECT_DIR" >&2
  exit 2
}

# Installed packages, a line each: name, priority, then the names it
# provides, depends on, pre-depends on and recommends.
installed_packages() {
  dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Priority}\t${Provides}\t${Depends}, ${Pre-Depends}, ${Recommends}\n' |
    awk -F'\t' '$1 ~ /^ii/ { print $2 "\t" $3 "\t" $4 "\t" $5 }'
}

# closure PACKAGE...: the packages given and, over the installed ones, all
# that apt installs with them; "required" stands for every package of
# priority required. Alternatives count with each installed choice, a
# virtual name with each installed package that provides it.
closure() {
  installed_packages | awk -F'\t' -v seeds="$*" '
    function names(field, out,   parts, n, i, name) {
      n = split(field, parts, /[,|]/)
      for (i = 1; i <= n; i++) {
        name = parts[i]
        sub(/\(.*/, "", name); gsub(/[ \t]/, "", name); sub(/:.*/, "", name)
        if (name != "") out[name] = 1
      }
    }
    {
      pkg = $1; installed[pkg] = 1
      if ($2 == "required") required[pkg] = 1
      delete p; names($3, p)
      for (v in p) providers[v] = providers[v] " " pkg
      needs[pkg] = $4
    }
    END {
      n = split(seeds, s, " ")
      for (i = 1; i <= n; i++) {
        if (s[i] == "required") { for (r in required) queue[++tail] = r }
        else queue[++tail] = s[i]
      }
      head = 1
      while (head <= tail) {
        name = queue[head++]
        if (name in seen) continue
        seen[name] = 1
        if (name in installed) {
          print name
          delete d; names(needs[name], d)
          for (x in d) if (!(x in seen)) queue[++tail] = x
        }
        if (name in providers) {
          m = split(providers[name], q, " ")
          for (j = 1; j <= m; j++) if (!(q[j] in seen)) queue[++tail] = q[j]
        }
      }
    }' | sort -u
}

# used_files BUILD_FOLDER: "cache FILE" and "test FILE" lines.
used_files() {
  local folder=$1
  # Values of entries that are a path into the system, and the compilers
  # as CMake found them (a preset may name one without its folder).
  grep -v '^CMAKE_INSTALL_PREFIX:' "$folder/CMakeCache.txt" |
    sed -nE 's#^[A-Za-z0-9_.+-]+:[A-Z]+=(/(usr|bin|sbin|lib|opt)/[^; ]*)$#cache \1#p'
  cat "$folder"/CMakeFiles/[0-9]*/CMake*Compiler.cmake 2>/dev/null |
    sed -nE 's#^set\(CMAKE_[A-Z]+_COMPILER "(/[^"]*)"\)$#cache \1#p'
  # The program each test starts (a bare name is looked up on the PATH),
  # and system files among the words of its command; the project's own
  # programs and scripts belong to no package.
  local word
  ctest --test-dir "$folder" --show-only=json-v1 2>/dev/null | awk '
    /"command" : *$/ { in_command = 1; first = 1; next }
    in_command && /^ *\]/ { in_command = 0; next }
    in_command && /^ *"/ {
      word = $0
      sub(/^ *"/, "", word); sub(/",? *$/, "", word)
      if (word ~ /^\/(usr|bin|sbin|lib|opt)\// || (first && word !~ /\//)) print word
      first = 0
    }' | sort -u | while read -r word; do
    [[ $word == /* ]] || word=$(command -v "$word") || continue
    echo "test $word"
  done
}

# other_name PATH: the same file under the other half of the merged /usr
# (/bin/uname is /usr/bin/uname), as dpkg may know it.
other_name() {
  case "$1" in
    /usr/bin/* | /usr/sbin/* | /usr/lib/* | /usr/lib64/*) echo "${1#/usr}" ;;
    /bin/* | /sbin/* | /lib/* | /lib64/*) echo "/usr$1" ;;
    *) echo "$1" ;;
  esac
}

# owners FILE...: "FILE<TAB>PACKAGE..." for each file that exists: the
# owners of its real path, else of the name itself, each also under its
# other name; none when no package owns it.
owners() {
  local file
  declare -A real=()
  for file in "$@"; do
    [[ -e "$file" ]] && real[$file]=$(readlink -f "$file")
  done
  ((${#real[@]} > 0)) || return 0
  local names=() table
  for file in "${!real[@]}"; do
    names+=("$file" "$(other_name "$file")" "${real[$file]}" "$(other_name "${real[$file]}")")
  done
  table=$(dpkg -S "${names[@]}" 2>/dev/null | grep -v '^diversion' || true)
  for file in "${!real[@]}"; do
    local found
    found=$(awk -v a="${real[$file]}" -v a2="$(other_name "${real[$file]}")" \
      -v b="$file" -v b2="$(other_name "$file")" '
      { path = $0; sub(/^.*: \//, "/", path); owners = $0; sub(/: \/.*$/, "", owners) }
      path == a || path == a2 { by_real = owners } path == b || path == b2 { by_name = owners }
      END { print (by_real != "" ? by_real : by_name) }' <<<"$table" | sed -E 's/:[a-z0-9]+//g; s/,//g')
    printf '%s\t%s\n' "$file" "$found"
  done
}

# check PROJECT_DIR BUILD_ROOT: prints each missing package; exit 1 if any.
check() {
  local project=$1 root=$2 folder cache target tests_target
  local -A allowed=()
  local problems=() looked=0
  local required
  required=$(closure required)
  for cache in "$root"/*/CMakeCache.txt; do
    [[ -f "$cache" ]] || continue
    folder=$(dirname "$cache")
    target=$(sed -n 's/^MELVARA_SETUP_TARGET:[A-Z]*=//p' "$cache")
    if [[ -z "$target" ]]; then
      echo "passed over: $folder (not configured by make)"
      continue
    fi
    tests_target=$(sed -n 's/^MELVARA_SETUP_TESTS_TARGET:[A-Z]*=//p' "$cache")
    tests_target=${tests_target:-$target}
    looked=$((looked + 1))
    local t
    for t in "$target" "$tests_target"; do
      [[ -n "${allowed[$t]:-}" ]] && continue
      # shellcheck disable=SC2046
      allowed[$t]=" $(closure $("$project/scripts/setup.sh" --list "$t") | tr '\n' ' ') "
    done

    local -A kind_of=()
    local kind file
    while read -r kind file; do
      kind_of[$file]=$kind
    done < <(used_files "$folder" | sort -u)
    local line packages ok p who
    while IFS=$'\t' read -r file packages; do
      [[ -n "$file" ]] || continue
      if [[ ${kind_of[$file]} == cache ]]; then
        t=$target who="its configuration (CMakeCache.txt)"
      else
        t=$tests_target who="a test"
      fi
      if [[ -z "$packages" ]]; then
        problems+=("make $t: $file, used by $who in $folder, belongs to no Debian package: the build found something installed by hand")
        continue
      fi
      ok=0
      for p in $packages; do
        if [[ "${allowed[$t]}" == *" $p "* ]] || grep -qxF "$p" <<<"$required"; then
          ok=1
          break
        fi
      done
      ((ok)) || problems+=("make $t: package ${packages// / or } ($file, used by $who in $folder) is not installed by scripts/setup.sh for $t")
    done < <(owners "${!kind_of[@]}")
    unset kind_of
  done

  if ((${#problems[@]} > 0)); then
    printf '%s\n' "${problems[@]}" | sort -u
    echo "Name each package in scripts/setup.sh for the target that needs it: a fresh machine does not have it."
    return 1
  fi
  echo "every package used by the $looked build folders under $root and their tests is installed by scripts/setup.sh for its target"
}

self_test() {
  local project=$1 work candidate file=""
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  local linux
  linux=" $(closure $("$project/scripts/setup.sh" --list linux) required | tr '\n' ' ') "
  # A program of a package that setup.sh installs for other targets only.
  for candidate in xvfb:/usr/bin/Xvfb wine64:/usr/lib/wine/wine64 clang-14:/usr/lib/llvm-14/bin/clang \
    mingw-w64-x86-64-dev:/usr/x86_64-w64-mingw32/include/windows.h valgrind:/usr/bin/valgrind; do
    if [[ -e ${candidate#*:} && "$linux" != *" ${candidate%%:*} "* ]]; then
      file=${candidate#*:}
      break
    fi
  done
  if [[ -z "$file" ]]; then
    echo "self-test: none of the packages it could use is installed here"
    return 1
  fi
  mkdir -p "$work/made-up"
  printf '%s\n' "MELVARA_SETUP_TARGET:STRING=linux" "MADE_UP_TOOL:FILEPATH=$file" >"$work/made-up/CMakeCache.txt"
  local out status=0
  out=$(check "$project" "$work" 2>&1) || status=$?
  echo "$out"
  local package=${candidate%%:*}
  if ((status == 1)) && grep -q "^make linux: package .*$package.* not installed by scripts/setup.sh for linux" <<<"$out"; then
    echo "self-test: a build of make linux that uses $package is caught"
    return 0
  fi
  echo "self-test: the made-up use of $package by make linux was not reported (status $status)"
  return 1
}

case "${1:-}" in
  --self-test) (($# == 2)) || usage; self_test "$2" ;;
  -*) usage ;;
  *) (($# == 2)) || usage; check "$1" "$2" ;;
esac
