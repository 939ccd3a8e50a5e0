#!/usr/bin/env bash
# Checks what a built module shows the system loader.
#   check_module.sh so  PATH   Linux module: exactly the seven exports
#   check_module.sh mxt PATH [BUILD_DIR]
#                              Windows module: the seven exports; imports
#                                from KERNEL32, USER32 and msvcrt only; version
#                                resource and manifest present; ASLR (also
#                                high-entropy) and DEP on; no time stamp; not
#                                naming this source tree or BUILD_DIR
set -euo pipefail

kind=$1
module=$2
build_dir=${3:-}
expected="MelvaraExtensionEnumerate
MelvaraExtensionEnumerate_UTF16
MelvaraExtensionGetMenuStatus
MelvaraExtensionInit
MelvaraExtensionInvoke
MelvaraExtensionTerminate
MelvaraExtensionVersion"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[[ -f "$module" ]] || { echo "FAIL: no module at $module"; exit 1; }

compare_exports() {
  local actual=$1
  if [[ "$actual" == "$expected" ]]; then
    echo "ok: exactly the seven exports"
  else
    fail "exports differ from the seven"
    diff <(echo "$expected") <(echo "$actual") || true
  fi
}

case "$kind" in
  so)
    compare_exports "$(nm -D --defined-only "$module" | awk '{print $3}' | sort)"
    ;;
  mxt)
    dump=$(x86_64-w64-mingw32-objdump -p "$module")
    compare_exports "$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                       sed -n 's/^\s*\[\s*[0-9]*\] \(.*\)$/\1/p' | sort)"

    imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p')
    echo "imports: $(echo $imports)"
    while read -r dll; do
      [[ -z "$dll" ]] && continue
      case "${dll^^}" in
        KERNEL32.DLL | USER32.DLL | MSVCRT.DLL) ;;
        *) fail "imports $dll, not one of KERNEL32, USER32 and msvcrt" ;;
      esac
    done <<< "$imports"

    for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
      grep -q "^\s*$flag\s*$" <<< "$dump" && echo "ok: DllCharacteristics has $flag" ||
        fail "DllCharacteristics lacks $flag"
    done
    # ASLR moves the module only when it can be relocated.
    grep -q 'Entry 5 0*[1-9a-f][0-9a-f]* [0-9a-f]* Base Relocation Directory' <<< "$dump" &&
      echo "ok: base relocations" || fail "no base relocations"
    grep -q '^Time/Date\s.* 1970$' <<< "$dump" && echo "ok: no time stamp" ||
      fail "time stamp: $(sed -n 's/^Time\/Date\s*//p' <<< "$dump")"
    # Neither this source tree nor the build folder may be named.
    folders=("$(cd "$(dirname "$0")/../.." && pwd)")
    [[ -n "$build_dir" ]] && folders+=("$(cd "$build_dir" && pwd)")
    named=0
    for folder in "${folders[@]}"; do
      if grep -qaF "$folder" "$module"; then fail "names the folder $folder"; named=1; fi
    done
    ((named)) || echo "ok: names no folder of this machine"

    # Resource directory: type 0x10 is RT_VERSION, type 0x18 RT_MANIFEST.
    grep -q 'Entry: ID: 0x000010' <<< "$dump" && echo "ok: version resource" ||
      fail "no version resource"
    grep -q 'Entry: ID: 0x000018' <<< "$dump" && echo "ok: manifest resource" ||
      fail "no manifest resource"
    grep -qa 'asInvoker' "$module" && echo "ok: manifest asks for asInvoker" ||
      fail "manifest does not ask for asInvoker"
    ;;
  *)
    echo "usage: $0 so|mxt MODULE" >&2
    exit 2
    ;;
esac

exit $((failures > 0))
