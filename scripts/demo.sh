#!/usr/bin/env bash
# Shows Stintkeeper at work without the simulator: installs what is missing, builds the program and the
# stand-in (not the tests), and plays a fuel-critical race on the stand-in with stintkeeper started beside it,
# its race log on; ends with the paths of the race log and of its picture (scripts/report.sh).
# Ends by itself in about a minute; Ctrl-C stops both and removes the program's temporary directory.
# Usage: scripts/demo.sh [lfs-standin options]   e.g. --scenario qualifying --speed fast; --help lists them.
# STINTKEEPER_BUILD_DIR chooses the build directory (default: build); the logs go to demo-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${STINTKEEPER_BUILD_DIR:-build}"
logs=demo-logs
# A speed that makes the scenario asked for last a minute or two: the races of an hour or two go at 60x.
speed=16
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}:${args[i + 1]:-}" in
    --scenario:endurance | --scenario:long_endurance | --scenario:rejoin | --scenario:team_endurance) speed=60 ;;
  esac
done
# The help before anything is installed or built; the stand-in's options from its binary when it is there.
for argument in "$@"; do
  if [ "$argument" = "--help" ] || [ "$argument" = "-h" ]; then
    cat <<USAGE
Usage: scripts/demo.sh [lfs-standin options]
Plays a race on the simulator stand-in with stintkeeper beside it, its race log on, and ends with the
paths of the log and of its picture. The demo's own defaults, which options given here replace:
  --scenario fuel_critical  --port 0 (a free port)  --program $build/stintkeeper  --log $logs
  --speed 16, and 60 for the races of an hour or two (endurance, long_endurance, rejoin, team_endurance)
  --simulator old: a release of the program's own InSim version; --simulator current plays today's
  releases, and the program's cfg.xml then asks for InSim version 8.
USAGE
    if [ -x "$build/tools/lfs-standin" ]; then
      echo "The stand-in's options:"
      "$build/tools/lfs-standin" --help | sed -n '/^  --/,$p'
    else
      echo "The stand-in's options: $build/tools/lfs-standin --help, once the demo has built it (tools/README.md)."
    fi
    exit 0
  fi
done
scripts/deps.sh
cmake -S . -B "$build" -DSTINTKEEPER_WERROR=ON >/dev/null
echo "Building stintkeeper and lfs-standin in $build..."
cmake --build "$build" -j "$(nproc)" --target stintkeeper lfs-standin >/dev/null
mkdir -p "$logs"
started="$logs/.started"
touch "$started"
# Options given to the script come last and win over these.
"$build/tools/lfs-standin" --scenario fuel_critical --speed "$speed" --port 0 --program "$build/stintkeeper" \
    --log "$logs" "$@" || exit $?
# The last race log written in this run (a qualifying log has no picture).
log=""
for csv in $(find "$logs" -name '*.csv' -newer "$started" | sort); do
    awk -F, 'NR > 1 && $9 != "" { found = 1 } END { exit !found }' "$csv" && log="$csv"
done
[ -n "$log" ] || exit 0
picture=$(scripts/report.sh "$log")
echo "Race log: $log"
echo "Picture:  $picture"
