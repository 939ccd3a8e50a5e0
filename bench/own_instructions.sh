#!/bin/sh
# Instructions of each command, module and floor, counted by callgrind on
# the Release benchmarks build, and the module's own share of them.
#
#   bench/own_instructions.sh [BUILD_DIR] [MEASURES...]
#
# BUILD_DIR is a build with -DCMAKE_BUILD_TYPE=Release -DMELVARA_BENCH=ON
# (default build/bench, as `make bench` makes it; the target
# melvara_instructions is built here). MEASURES are the sizes of the
# generated scores (default 3 25 250): M measures as `melvara-sim generate
# --measures M --staves 50 --layers 4 --entries 4` writes them; Change runs
# on the same score with one tuplet only, so that it walks every entry twice.
#
# Each command runs twice in one process (bench/Instructions.cpp), module or
# floor, and callgrind counts only those runs, one profile each: the first
# is cold (the simulated host's first load of each record costs it more),
# the second warm. Host instructions are those inside the host's functions
# (MX_*) and the stand-ins for MessageBoxW and IsWindow; own instructions are
# the rest. Per item: per tuplet read, for Change per entry walked.
set -eu

build=${1:-build/bench}
[ $# -gt 0 ] && shift
sizes=${*:-3 25 250}

command -v valgrind >/dev/null || { echo "own_instructions.sh: valgrind is needed" >&2; exit 1; }
cmake --build "$build" --target melvara_instructions >/dev/null
program=$build/bench/melvara_instructions
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# total host: the instructions of one profile, all of them and those inside
# the host's functions (inclusive). The C exports MX_* and the platform
# layer's MessageBoxW and IsWindow are listed with nothing after the name
# but the object, or with their parameters.
measure() {
    callgrind_annotate --inclusive=yes --threshold=100 "$1" | awk '
        /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
        / [^ ]*:(MX_[A-Za-z]+|MessageBoxW|IsWindow) \[/ ||
        / [^ ]*:platform::(MessageBoxW|IsWindow)\(/ { gsub(",", "", $1); host += $1 }
        END { printf "%d %d\n", total, host }'
}

printf '%-8s %8s %9s %7s  %12s %12s %6s  %12s %12s %6s  %9s %9s\n' \
    command measures items item \
    "module cold" "floor cold" ratio "module warm" "floor warm" ratio \
    "own/item" "floor own"
for measures in $sizes; do
    for command in compare reset change; do
        for side in module floor; do
            rm -f "$work"/cg.*
            valgrind --tool=callgrind --callgrind-out-file="$work/cg" \
                --toggle-collect=MeasuredRun --dump-after=MeasuredRun \
                "$program" --command $command --side $side --measures "$measures" --runs 2 \
                >"$work/counts" 2>"$work/valgrind.log" ||
                { cat "$work/valgrind.log" >&2; exit 1; }
            set -- $(measure "$work/cg.1") $(measure "$work/cg.2")
            eval "${side}_cold=$1 ${side}_cold_host=$2 ${side}_warm=$3 ${side}_warm_host=$4"
        done
        # cells C entries E tuplets T calls N
        set -- $(cat "$work/counts")
        if [ $command = change ]; then items=$4 item=entry; else items=$6 item=tuplet; fi
        awk -v c=$command -v m="$measures" -v n="$items" -v i=$item \
            -v mc="$module_cold" -v mch="$module_cold_host" -v mw="$module_warm" -v mwh="$module_warm_host" \
            -v fc="$floor_cold" -v fch="$floor_cold_host" -v fw="$floor_warm" -v fwh="$floor_warm_host" \
            'BEGIN { printf "%-8s %8d %9d %7s  %12d %12d %6.3f  %12d %12d %6.3f  %9.1f %9.1f\n",
                     c, m, n, i, mc, fc, mc / fc, mw, fw, mw / fw, (mc - mch) / n, (fc - fch) / n }'
    done
done
echo "own/item: module instructions outside the host's functions per item, cold run;"
echo "floor own: the same for the floor (its loops, the frame and entry fields it reads)."
