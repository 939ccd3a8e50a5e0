#!/usr/bin/env bash
# The Windows kit as a developer meets it on a machine where Wine never ran:
# a module made from the packed template, built with the packed Makefile, is
# validated at level 3 by the guide's own command line, in a Wine prefix
# that does not exist yet, with no setting made by hand. MELVARA.EXE makes
# its settings itself: the prefix then holds Managed = N for it.
#   check_new_prefix.sh KIT_DIR WORK_DIR
# KIT_DIR holds one melvara-sim-VERSION-windows-x64.zip; WORK_DIR is made
# afresh and holds the prefix while the test runs.
set -euo pipefail

(($# == 2)) || { echo "usage: $0 KIT_DIR WORK_DIR" >&2; exit 2; }
archives=("$1"/melvara-sim-*-windows-x64.zip)
((${#archives[@]} == 1)) && [[ -f "${archives[0]}" ]] || { echo "FAIL: not one kit in $1"; exit 1; }
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
unzip -q "${archives[0]}" -d "$work"
kit=$(echo "$work"/melvara-sim-*-windows-x64)
export WINEPREFIX=$work/prefix
unset DISPLAY WINEDEBUG
stop_wine() { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
trap stop_wine EXIT

cp -r "$kit/examples/template" "$work/tuplet-tools"
cd "$work/tuplet-tools"
make -s KIT="$kit" NAME=tuplet-tools mxt

# As the guide writes it.
start=$SECONDS
set +e
output=$(xvfb-run -a wine "$kit/MELVARA.EXE" validate --module ./tuplet-tools.mxt --level 3 2>&1)
status=$?
set -e
output=${output//$'\r'/}
echo "$output"
echo "took $((SECONDS - start)) s on a new prefix, creating it included"
failed=0
((status == 0)) || { echo "FAIL: exit status $status, expected 0"; failed=1; }
grep -Eq '^[0-9]+ checks up to level 3 in .*: [0-9]+ passed, 0 failed, 0 skipped$' <<< "$output" ||
  { echo "FAIL: not every check passed"; failed=1; }
timeout 60 wineserver -w || true
settings=$(sed -n '/^\[Software\\\\Wine\\\\AppDefaults\\\\MELVARA.EXE\\\\X11 Driver\]/,/^$/p' \
  "$WINEPREFIX/user.reg")
if grep -qx '"Managed"="N"' <<< "$settings"; then
  echo "ok: MELVARA.EXE set Managed = N for itself in the new prefix"
else
  echo "FAIL: the new prefix holds no Managed = N for MELVARA.EXE"
  failed=1
fi
exit $failed
