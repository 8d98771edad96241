#!/bin/bash
# Quorvel against the floor (floor_receiver) and, when given, another build of Quorvel, with
# the same instrument: ROUNDS rounds of quorvel_latency_bench EVENTS 0, the programs
# alternated within each round, so a change in the machine's load falls on all of them.
#
#   bench/floor_compare.sh BUILD_DIR [ROUNDS] [EVENTS] [OTHER_QUORVEL]   (defaults 5 2000)
set -euo pipefail
build=$1
rounds=${2:-5}
events=${3:-2000}
other=${4:-}
programs=("$build/qt_app/quorvel" "$build/bench/floor_receiver")
[[ -n $other ]] && programs+=("$other")
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$rounds"); do
    for program in "${programs[@]}"; do
        result=$(QUORVEL_BENCH_PROGRAM=$program "$build/bench/quorvel_latency_bench" "$events" 0)
        latency=$(grep '^quorvel ' <<<"$result")
        cpu=$(grep 'cpu per event' <<<"$result" | grep -o '[0-9.]* us')
        echo "round $round  $(basename "$(dirname "$program")")/$(basename "$program")  $latency  cpu $cpu"
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
