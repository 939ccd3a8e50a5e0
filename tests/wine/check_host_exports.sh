#!/usr/bin/env bash
# Checks what the Windows host program shows the system loader: it exports
# the host functions under their plain names, but for those named as hidden,
# and imports only system DLLs (the runtimes are linked in).
#   check_host_exports.sh EXE "FUNCTION..." [HIDDEN_FUNCTION...]
set -euo pipefail

(($# >= 2)) || { echo "usage: $0 EXE \"FUNCTION...\" [HIDDEN_FUNCTION...]" >&2; exit 2; }
exe=$1
functions=$2
shift 2
[[ -f "$exe" ]] || { echo "FAIL: no program at $exe"; exit 1; }
expected=$(for f in $functions; do
  hidden=0
  for h in "$@"; do [[ "$f" == "$h" ]] && hidden=1; done
  ((hidden)) || echo "$f"
done | sort)

failures=0
dump=$(x86_64-w64-mingw32-objdump -p "$exe")
actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^\s*\[\s*[0-9]*\] \(.*\)$/\1/p' | sort)
if [[ "$actual" == "$expected" ]]; then
  echo "ok: exports $(echo "$expected" | wc -l) host functions${1:+, without $*}"
else
  echo "FAIL: the exports differ (< expected, > actual)"
  diff <(echo "$expected") <(echo "$actual") || true
  failures=$((failures + 1))
fi

imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p')
echo "imports: $(echo $imports)"
while read -r dll; do
  [[ -z "$dll" ]] && continue
  case "${dll^^}" in
    KERNEL32.DLL | USER32.DLL | ADVAPI32.DLL | MSVCRT.DLL | API-MS-WIN-CRT-*) ;;
    *) echo "FAIL: imports $dll, which is not a system DLL"; failures=$((failures + 1)) ;;
  esac
done <<< "$imports"

exit $((failures > 0))
