#!/usr/bin/env bash
# Shows Stintkeeper at work without the simulator: installs what is missing, builds the program and the
# stand-in (not the tests), and plays a fuel-critical race on the stand-in with stintkeeper started beside it.
# Ends by itself in about a minute; Ctrl-C stops both and removes the program's temporary directory.
# Usage: scripts/demo.sh [lfs-standin options]   e.g. --scenario qualifying --speed fast; --help lists them.
# STINTKEEPER_BUILD_DIR chooses the build directory (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${STINTKEEPER_BUILD_DIR:-build}"
scripts/deps.sh
cmake -S . -B "$build" -DSTINTKEEPER_WERROR=ON >/dev/null
echo "Building stintkeeper and lfs-standin in $build..."
cmake --build "$build" -j "$(nproc)" --target stintkeeper lfs-standin >/dev/null
# A speed that makes the scenario asked for last a minute or two: the hour-long race goes at 60x.
speed=16
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; i++)); do
  if [ "${args[i]}" = "--scenario" ] && [ "${args[i + 1]}" = "endurance" ]; then speed=60; fi
done
# Options given to the script come last and win over these.
exec "$build/tools/lfs-standin" --scenario fuel_critical --speed "$speed" --port 0 --program "$build/stintkeeper" "$@"
