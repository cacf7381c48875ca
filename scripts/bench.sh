#!/usr/bin/env bash
# Builds Stintkeeper in release mode in build-release and measures it against its floors in one run:
# lap line to pitboard latency, race throughput, idle CPU, memory and instructions per lap line; prints one table.
# Usage: scripts/bench.sh [build-dir]    (about two minutes on 2 cores; valgrind for the instruction counts)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-release}"

echo "Building in $dir (Release)..." >&2
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSTINTKEEPER_BENCH=ON -DSTINTKEEPER_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target stintkeeper bench_floor bench_system bench_work >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows="$work/rows.tsv"

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

if command -v valgrind >/dev/null; then
    echo "Counting instructions under callgrind..." >&2
    read -r board boardTurns < <(instructions board)
    read -r press pressTurns < <(instructions press)
    read -r idle _ < <(instructions idle)
    read -r idleEmpty _ < <(instructions idle-empty)
    read -r dropped _ < <(instructions dropped)
    read -r echo _ < <(instructions echo)
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
    printf '5 instructions per viewed lap line, board (%s lap lines)\t%s\t%s loop turn, %s echo\t%s\t-\t-\n' \
        "$boardTurns" "$board" "$dropped" "$echo" "$(ratio "$board" "$dropped")" >>"$rows"
    printf '5 instructions per viewed lap line, with /press batch (%s lap lines)\t%s\t%s loop turn, %s echo\t%s\t-\t-\n' \
        "$pressTurns" "$press" "$dropped" "$echo" "$(ratio "$press" "$dropped")" >>"$rows"
    printf '3 instructions per idle turn (100 ms wait, one OutGauge datagram; lap 90 of 64 cars)\t%s\t%s no race stored\t%s\t-\t-\n' \
        "$idle" "$idleEmpty" "$(ratio "$idle" "$idleEmpty")" >>"$rows"
else
    printf '5 instructions per viewed lap line\tvalgrind not installed\t-\t-\t-\t-\n' >>"$rows"
fi

cores=$(nproc)
model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
echo
echo "Stintkeeper $(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release build, on $cores cores, $model;" \
     "load average $load at the start (figures 1 to 3 move with the load)"
{
    printf 'Figure\tStintkeeper\tFloor (same run)\tRatio\tTarget\tMet\n'
    sort -s -t $'\t' -k1,1n "$rows"
} | awk -F'\t' '
    { for (i = 1; i <= NF; ++i) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } rows = NR; cols = NF }
    END {
        for (r = 1; r <= rows; ++r) {
            line = "|"
            for (i = 1; i <= cols; ++i) line = line sprintf(" %-*s |", width[i], cell[r, i])
            print line
            if (r == 1) { line = "|"; for (i = 1; i <= cols; ++i) { dash = ""; for (k = 0; k < width[i] + 2; ++k) dash = dash "-"; line = line dash "|" } print line }
        }
    }'
