#!/usr/bin/env bash
# melvara-sim on generated scores from ten thousand to a million tuplets:
# the time and peak memory of generate, of Compare and of Reset with --out,
# each size in one run of this script, and how they stand to the targets.
#
#   scripts/sim-scale.sh [MEASURES...]
#
# Each size is `generate --measures M --staves 50 --layers 4 --entries 4`
# (about 400 tuplets a measure); the default sizes are 25 80 250 800 2500
# measures. REPEAT (default 3) runs of each command, of which the least CPU
# time (user + system) counts: CPU time is what the program itself spends,
# and on a shared machine other work only ever adds to it (through the
# caches and the memory bus), the more so the larger the score. Peak
# memory is the largest resident set (GNU time's %M). The figures also go to build/scale/figures.tsv, which
# scripts/sim-scale-plot.sh draws.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build/linux}
repeat=${REPEAT:-3}
sizes=("$@")
((${#sizes[@]} > 0)) || sizes=(25 80 250 800 2500)
work=build/scale

# GNU time for the peak memory, besides the Linux build.
scripts/setup.sh scale
if [[ -z ${BUILD:-} ]]; then
  scripts/build.sh linux melvara-sim qvzevedovuvedoza64
else
  cmake --build "$build" --target melvara-sim qvzevedovuvedoza64 >/dev/null
fi
sim=$build/sim/melvara-sim
module=$build/plugin/qvzevedovuvedoza64.so
mkdir -p "$work"

calc() { awk "BEGIN { print $1 }"; }

# run NAME COMMAND...: runs the command once; sets cpu (s), wall (s), rss (KB).
run() {
  local name=$1
  shift
  if ! /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err"; then
    echo "sim-scale: $name failed:" >&2
    cat "$work/$name.err" >&2
    exit 1
  fi
  local user system
  read -r wall user system rss <"$work/$name.time"
  cpu=$(calc "$user + $system")
}

# repeated NAME COMMAND...: REPEAT runs; sets cpu and wall to those of the
# run with the least CPU time, rss to the largest of all.
repeated() {
  local least="" least_wall="" most=0
  for ((i = 0; i < repeat; i++)); do
    run "$@"
    if [[ -z "$least" ]] || (($(calc "$cpu < $least"))); then
      least=$cpu least_wall=$wall
    fi
    ((rss > most)) && most=$rss
  done
  cpu=$least wall=$least_wall rss=$most
}

per_tuplet() { calc "$1 * 1000000 / $2"; }
mb() { calc "$1 / 1000000"; }

figures=$work/figures.tsv
echo -e "measures\ttuplets\tfile_bytes\tgenerate_cpu\tgenerate_rss_kb\tcompare_cpu\tcompare_wall\tcompare_rss_kb\treset_cpu\treset_wall\treset_rss_kb" >"$figures"
printf '%8s %9s %8s | %9s %8s | %9s %8s %6s | %9s %8s | %6s | %9s %9s\n' \
  measures tuplets "file MB" "gen s" "gen MB" "cmp s" "cmp MB" "×file" "reset s" "reset MB" "r/c" \
  "cmp µs/t" "reset µs/t"
for measures in "${sizes[@]}"; do
  score=$work/score-$measures.json
  run generate "$sim" generate --measures "$measures" --staves 50 --layers 4 --entries 4 --out "$score"
  gen_cpu=$cpu gen_rss=$rss
  tuplets=$(sed -n 's/.* with tuplets, \([0-9]*\) tuplets.*/\1/p' "$work/generate.out")
  bytes=$(stat -c %s "$score")
  repeated compare "$sim" run --module "$module" --score "$score" --command compare
  cmp_cpu=$cpu cmp_wall=$wall cmp_rss=$rss
  repeated reset "$sim" run --module "$module" --score "$score" --command reset --out "$work/reset.json"
  rst_cpu=$cpu rst_wall=$wall rst_rss=$rss
  rm -f "$work/reset.json"
  echo -e "$measures\t$tuplets\t$bytes\t$gen_cpu\t$gen_rss\t$cmp_cpu\t$cmp_wall\t$cmp_rss\t$rst_cpu\t$rst_wall\t$rst_rss" >>"$figures"
  printf '%8d %9d %8.1f | %9.2f %8.1f | %9.2f %8.1f %6.2f | %9.2f %8.1f | %6.2f | %9.2f %9.2f\n' \
    "$measures" "$tuplets" "$(mb "$bytes")" "$gen_cpu" "$(mb "$gen_rss * 1024")" \
    "$cmp_cpu" "$(mb "$cmp_rss * 1024")" "$(calc "$cmp_rss * 1024 / $bytes")" \
    "$rst_cpu" "$(mb "$rst_rss * 1024")" "$(calc "$rst_cpu / $cmp_cpu")" \
    "$(per_tuplet "$cmp_cpu" "$tuplets")" "$(per_tuplet "$rst_cpu" "$tuplets")"
  rm -f "$score"
done

# The targets: at the size nearest 100,000 tuplets, Reset with --out within
# 2.5 × Compare's time and Compare's peak at most 4 × the file; over all
# sizes, the time per tuplet within 1.5 × of the lowest; generate's peak
# the same at every size.
awk -F'\t' '
  NR == 1 { next }
  {
    n++
    distance = ($2 > 100000 ? $2 - 100000 : 100000 - $2)
    if (n == 1 || distance < best) { best = distance; row = $0 }
    c = $6 / $2; r = $9 / $2
    if (n == 1 || c < cmin) cmin = c; if (n == 1 || c > cmax) cmax = c
    if (n == 1 || r < rmin) rmin = r; if (n == 1 || r > rmax) rmax = r
    if (n == 1 || $5 < gmin) gmin = $5; if (n == 1 || $5 > gmax) gmax = $5
  }
  END {
    split(row, f, "\t")
    printf "\nAt %d tuplets (%.1f MB):\n", f[2], f[3] / 1e6
    printf "  Reset with --out / Compare, CPU time: %.2f (target at most 2.5): %s\n", f[9] / f[6], (f[9] / f[6] <= 2.5 ? "met" : "NOT met")
    printf "  Compare peak memory / file size:     %.2f (target at most 4): %s\n", f[8] * 1024 / f[3], (f[8] * 1024 / f[3] <= 4 ? "met" : "NOT met")
    printf "Over all sizes:\n"
    printf "  Compare time per tuplet, highest / lowest: %.2f (target at most 1.5): %s\n", cmax / cmin, (cmax / cmin <= 1.5 ? "met" : "NOT met")
    printf "  Reset time per tuplet, highest / lowest:   %.2f (target at most 1.5): %s\n", rmax / rmin, (rmax / rmin <= 1.5 ? "met" : "NOT met")
    printf "  generate peak memory: %.1f to %.1f MB\n", gmin / 1024, gmax / 1024
  }' "$figures"
echo "Figures: $figures (scripts/sim-scale-plot.sh draws them)"
