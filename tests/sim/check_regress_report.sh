#!/usr/bin/env bash
# check_regress_report.sh SIM OLD NEW OTHER FOLDER [LEVEL]
# melvara-sim regress of OLD against NEW (at LEVEL, default 2) gives the same report twice in a
# row (but for the seconds it took); its JSON report given back with
# --accept makes those differences pass, and OTHER, a change of another
# kind, still fails against it.
set -u
sim=$1 old=$2 new=$3 other=$4 dir=$5 level=${6:-2}
rm -rf "$dir"
mkdir -p "$dir"
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}
# regress NAME STATUS ARGUMENTS...: its output into FOLDER/NAME.txt.
regress() {
  local name=$1 expected=$2
  shift 2
  "$sim" regress --old "$old" --level "$level" --speed-runs 0 "$@" >"$dir/$name.txt" 2>&1
  local status=$?
  cat "$dir/$name.txt"
  ((status == expected)) || fail "$name: exit status $status, expected $expected"
}
timeless() { sed -E 's/ in [0-9.]+ s:/ in - s:/; s/"seconds": [0-9.]+/"seconds": -/' "$1"; }

regress first 1 --new "$new" --json "$dir/first.json" --junit "$dir/first.xml"
regress second 1 --new "$new" --json "$dir/second.json"
for kind in txt json; do
  if ! cmp -s <(timeless "$dir/first.$kind") <(timeless "$dir/second.$kind"); then
    fail "the second $kind report is not the first:"
    diff <(timeless "$dir/first.$kind") <(timeless "$dir/second.$kind") | head -20
  fi
done
grep -q '^DIFF  ' "$dir/first.txt" || fail "no difference in the first report"
# The JUnit report: a test case per run, a failure per run that differs.
read -r runs differ < <(sed -En 's/^([0-9]+) runs on each build .* ([0-9]+) differ in .*/\1 \2/p' \
  "$dir/first.txt")
cases=$(grep -c '<testcase classname=' "$dir/first.xml")
failures=$(grep -c '<failure message=' "$dir/first.xml")
[[ "$cases" == "$runs" && "$failures" == "$differ" ]] ||
  fail "JUnit: $cases test cases and $failures failures for $runs runs of which $differ differ"

regress accepted 0 --new "$new" --accept "$dir/first.json"
grep -q '^ACCEPTED  ' "$dir/accepted.txt" || fail "no ACCEPTED group"
grep -q '^DIFF  ' "$dir/accepted.txt" && fail "a DIFF group in spite of --accept"

regress other 1 --new "$other" --accept "$dir/first.json"
grep -q '^DIFF  ' "$dir/other.txt" || fail "no DIFF group for another change"
grep -Eq '; 1 accepted difference was not seen$' "$dir/other.txt" ||
  fail "the accepted difference not seen is not said"
exit $failed
