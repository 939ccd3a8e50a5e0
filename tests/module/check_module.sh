#!/usr/bin/env bash
# Checks what a built module shows the system loader.
#   check_module.sh so  PATH   Linux module: exactly the seven exports
#   check_module.sh mxt PATH   Windows module: the seven exports, only
#                                system DLLs imported, version resource and
#                                manifest present
set -euo pipefail

kind=$1
module=$2
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
        KERNEL32.DLL | USER32.DLL | MSVCRT.DLL | API-MS-WIN-CRT-*) ;;
        *) fail "imports $dll, which is not a system DLL" ;;
      esac
    done <<< "$imports"

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
