#!/usr/bin/env bash
# Builds Stintkeeper in release mode in build-release and measures it against its floors in one run:
# lap line to pitboard latency (also with the race log on against off, and with the page on against off), the
# page's lap line to event, race throughput, idle CPU, memory and
# instructions per lap line; prints one table.
# Usage: scripts/bench.sh [build-dir]    (a few minutes on 2 cores; valgrind for the instruction counts)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-release}"

scripts/deps.sh valgrind
echo "Building in $dir (Release)..." >&2
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSTINTKEEPER_WERROR=ON -DSTINTKEEPER_BENCH=ON -DSTINTKEEPER_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target stintkeeper bench_floor bench_system bench_work >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows="$work/rows.tsv"
row() { local IFS=$'\t'; echo "$*" >>"$rows"; }  # figure, program, floor, ratio, target, met

load=$(cut -d' ' -f1 /proc/loadavg)
echo "Measuring latency, throughput, memory and idle cost..." >&2
"$dir/bench/bench_system" "$dir/stintkeeper" "$dir/bench/bench_floor" >"$rows"

# Instructions of the measured turns only: callgrind counts from entering the marked function to leaving it.
instructions() {  # MODE -> "instructions-per-turn turns"
    local mode="$1"
    valgrind --tool=callgrind --collect-atstart=no \
        --toggle-collect=stintkeeper_measured_turn --toggle-collect=stintkeeper_measured_echo \
        --callgrind-out-file="$work/callgrind.$mode" \
        "$dir/bench/bench_work" "$mode" "$work/count.$mode" >/dev/null 2>"$work/valgrind.$mode"
    local total turns
    total=$(awk '/^totals:/ {print $2}' "$work/callgrind.$mode")
    turns=$(cat "$work/count.$mode")
    echo "$((total / turns)) $turns"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
ratio2() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

if command -v valgrind >/dev/null; then
    echo "Counting instructions under callgrind..." >&2
    read -r board boardTurns < <(instructions board)
    read -r boardEarly _ < <(instructions board-48h)
    read -r boardLate boardLateTurns < <(instructions board-48h-late)
    read -r press pressTurns < <(instructions press)
    read -r idle idleTurns < <(instructions idle)
    read -r idleEmpty _ < <(instructions idle-empty)
    read -r dropped _ < <(instructions dropped)
    read -r echo _ < <(instructions echo)
    row "3 instructions per idle turn" "$idle" "$idleEmpty no race stored" "$(ratio "$idle" "$idleEmpty")" - -
    row "5 instructions per viewed lap line" "$board" "$dropped loop turn, $echo echo" "$(ratio "$board" "$dropped")" - -
    row "5 instructions per viewed lap line, 48-hour race, last 98 laps" "$boardLate" "$boardEarly laps 2 to 99" \
        "$(ratio2 "$boardLate" "$boardEarly")" "<= 1.05x laps 2 to 99" \
        "$(awk -v a="$boardLate" -v b="$boardEarly" 'BEGIN { print (a <= 1.05 * b) ? "yes" : "NO" }')"
    row "5 instructions per lap line + /press batch" "$press" "$dropped loop turn, $echo echo" \
        "$(ratio "$press" "$dropped")" - -
    row note "3 instructions per idle turn" "$idleTurns turns of a 100 ms wait and one OutGauge datagram, after 90 laps of 64 cars; the floor: the same turn with no race stored"
    row note "5 instructions" "callgrind, user space only: $boardTurns board lap lines of a 64-car race, $pressTurns with the 13,532-byte batch; the floors: the loop's turn for a dropped 20-byte packet, and a bare recv and send; the 48-hour race (<Race long=\"1\"/>, 64 cars, laps of 50 to 59 s): the viewed car's lap lines 2 to 99, and its last $boardLateTurns with 2,782 laps of every car stored before them"
else
    row "5 instructions per viewed lap line" "valgrind not installed" - - - -
fi

cores=$(nproc)
model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
echo
echo "Stintkeeper $(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release build, on $cores cores ($model)," \
     "load average $load at the start"
{
    printf 'Figure\tStintkeeper\tFloor (same run)\tRatio\tTarget\tMet\n'
    grep -v '^note' "$rows" | sort -s -t $'\t' -k1,1n
} | awk -F'\t' '
    { for (i = 1; i <= NF; ++i) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } rows = NR; cols = NF }
    END {
        for (r = 1; r <= rows; ++r) {
            line = "|"
            for (i = 1; i <= cols; ++i) line = line sprintf(" %-" width[i] "s |", cell[r, i])
            print line
            if (r > 1) continue
            line = "|"
            for (i = 1; i <= cols; ++i) { dashes = sprintf("%" (width[i] + 2) "s", ""); gsub(/ /, "-", dashes); line = line dashes "|" }
            print line
        }
    }'
echo
grep '^note' "$rows" | sort -s -t $'\t' -k2,2n | awk -F'\t' '{ print "- " $2 ": " $3 }'
