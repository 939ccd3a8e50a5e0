#!/usr/bin/env bash
# Draws what scripts/sim-scale.sh measured: CPU time per tuplet of Compare,
# of Reset with --out and of generate against the size of the score (log
# scale), as a PNG.
#
#   scripts/sim-scale-plot.sh [FIGURES [PNG]]
#
# Defaults: build/scale/figures.tsv and docs/sim-scale.png. Needs gnuplot,
# which scripts/setup.sh installs when missing (target plot); the build and
# make check do not need it.
set -euo pipefail
cd "$(dirname "$0")/.."
figures=${1:-build/scale/figures.tsv}
png=${2:-docs/sim-scale.png}

scripts/setup.sh plot

gnuplot <<PLOT
set terminal pngcairo size 800,480 font "sans,10"
set output "$png"
set datafile separator "\t"
set title "melvara-sim: CPU time per tuplet against the size of the score"
set logscale x
set xrange [5000:2000000]
set format x "%.0s%c"
set xlabel "tuplets in the score (generate --staves 50 --layers 4 --entries 4)"
set ylabel "CPU time per tuplet (µs)"
set yrange [0:*]
set grid
set key top left
plot "$figures" skip 1 using 2:(\$9 * 1e6 / \$2) with linespoints pt 7 title "run --command reset --out", \
     "" skip 1 using 2:(\$6 * 1e6 / \$2) with linespoints pt 5 title "run --command compare", \
     "" skip 1 using 2:(\$4 * 1e6 / \$2) with linespoints pt 9 title "generate --out"
PLOT
echo "sim-scale-plot: $png"
