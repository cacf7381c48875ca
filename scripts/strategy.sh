#!/usr/bin/env bash
# Builds Stintkeeper in release mode in build-release and plays seeded races of the stand-in's model against
# it under each fuel setting; prints a table per kind of race of the viewed car's fuel calls (bench/strategy_bench.cpp).
# Usage: scripts/strategy.sh [lap races (150)] [long lap races (50)] [timed races (90)] [endurance races (200)]
# (0 leaves a kind out)
# STRATEGY_SETTINGS="8,9" plays only those rows of the table; STRATEGY_BUILD_DIR another build directory;
# STRATEGY_DETAIL=1 writes a line per race and setting to standard error, STRATEGY_CONSOLE="endurance race 4"
# that race's console of the program.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${STRATEGY_BUILD_DIR:-build-release}"

echo "Building in $dir (Release)..." >&2
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSTINTKEEPER_WERROR=ON -DSTINTKEEPER_BENCH=ON -DSTINTKEEPER_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target stintkeeper bench_strategy >/dev/null

model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
start=$(date +%s)
table=$("$dir/bench/bench_strategy" "$dir/stintkeeper" "${1:-150}" "${2:-50}" "${3:-90}" "${4:-200}" "$(nproc)")
echo
echo "Stintkeeper $(git rev-parse --short HEAD 2>/dev/null || echo '?'), Release build, on $(nproc) cores ($model)," \
     "$(( $(date +%s) - start )) s"
echo "$table"
