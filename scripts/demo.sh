#!/usr/bin/env bash
# Shows Stintkeeper at work without the simulator: installs what is missing, builds the program and the
# stand-in (not the tests), and plays a fuel-critical race on the stand-in (today's game) with stintkeeper
# beside it on docs/cfg-today.xml's settings: the recommended fuel call, the stint plan, the pit guard, the
# race log and the race page, whose address it prints and which is up until the race ends. --design plays
# the plain design instead (the stand-in's own cfg.xml: InSim 5, nothing opted in but the race log).
# Ends with the paths of the race log and of its picture (scripts/report.sh), in about a minute; Ctrl-C
# stops both. Usage: scripts/demo.sh [--design] [lfs-standin options]   e.g. --scenario qualifying --speed fast
# With --scenario team_endurance, a stintkeeper for each team member, linked through a local broker.
# STINTKEEPER_BUILD_DIR chooses the build directory (default: build); the logs go to demo-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${STINTKEEPER_BUILD_DIR:-build}"
logs=demo-logs
# A speed that makes the scenario asked for last a minute or two: the races of an hour or two go at 60x.
speed=16
design=false
args=()
for argument in "$@"; do
  if [ "$argument" = "--design" ]; then design=true; else args+=("$argument"); fi
done
set -- "${args[@]}"
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}:${args[i + 1]:-}" in
    --scenario:endurance | --scenario:long_endurance | --scenario:rejoin | --scenario:team_endurance) speed=60 ;;
  esac
done
# The help before anything is installed or built; the stand-in's options from its binary when it is there.
for argument in "$@"; do
  if [ "$argument" = "--help" ] || [ "$argument" = "-h" ]; then
    cat <<USAGE
Usage: scripts/demo.sh [--design] [lfs-standin options]
Plays a race on the simulator stand-in with stintkeeper beside it on docs/cfg-today.xml's settings, its
race page on (the address is printed; open it in a browser while the race runs), and ends with the paths
of the race log and of its picture. The demo's own defaults, which options given here replace:
  --scenario fuel_critical  --simulator current  a free --port
  --speed 16, and 60 for the races of an hour or two (endurance, long_endurance, rejoin, team_endurance)
--scenario team_endurance: the team race, with a stintkeeper for each of the two members (the stand-in's
  --team-port), linked through a local mosquitto by <Team>; both pages' addresses are printed.
--design: the plain design instead: --simulator old (a release of the program's own InSim version), and
  --port 0 --program $build/stintkeeper --log $logs (the stand-in writes the program's cfg.xml and starts it).
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
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
if $design; then
  # Options given to the script come last and win over these.
  "$build/tools/lfs-standin" --scenario fuel_critical --speed "$speed" --port 0 --program "$build/stintkeeper" \
      --log "$logs" "$@" || exit $?
else
  # stintkeeper in a directory of its own with cfg-today.xml on free ports, waiting for the stand-in;
  # reconnect is on there, so it is stopped once the stand-in has closed the link. In the team race, the
  # team mate's stintkeeper too, on the stand-in's second port, both linked through a local broker.
  team=false
  for ((i = 0; i < ${#args[@]}; i++)); do [ "${args[i]}:${args[i + 1]:-}" = "--scenario:team_endurance" ] && team=true; done
  program=$(realpath "$build/stintkeeper")
  pids=() runs=()
  trap 'kill -TERM "${pids[@]}" 2>/dev/null || true; rm -rf "${runs[@]}"' EXIT  # also when Ctrl-C ends the stand-in
  member() {  # $1: the InSim port, $2: what its lines start with, $3: more of cfg.xml; sets `address`, its page's
    local run outgauge page
    run=$(mktemp -d) outgauge=$(free_port) page=$(free_port)
    runs+=("$run")
    sed -e "s|port=\"12500\"|port=\"$1\"|; s|port=\"12501\"|port=\"$outgauge\"|; s|port=\"8081\"|port=\"$page\"|" \
        -e "s|dir=\"logs\"|dir=\"$PWD/$logs\"|; s|</Stintkeeper>|$3</Stintkeeper>|" docs/cfg-today.xml >"$run/cfg.xml"
    (cd "$run" && exec "$program" > >(sed -u "s/^/$2 | /") 2> >(sed -u "s/^/$2 ! /" >&2)) &
    pids+=($!)
    address="http://127.0.0.1:$page/"
  }
  insim=$(free_port)
  standin=(--scenario fuel_critical --speed "$speed" --simulator current "$@" --port "$insim")
  if $team; then
    broker=$(free_port) mate=$(free_port)
    mosquitto -p "$broker" >/dev/null 2>&1 &
    pids+=($!)
    link="<Team name=\"demo\" broker=\"127.0.0.1\" port=\"$broker\"/>"
    member "$insim" "stintkeeper" "  $link\n"
    yours=$address
    member "$mate" "mate's stintkeeper" "  $link\n"
    echo "The race pages: yours $yours, your team mate's $address (up until the race ends)"
    standin+=(--team-port "$mate")
  else
    member "$insim" "stintkeeper" ""
    echo "The race page: $address (up until the race ends)"
  fi
  status=0
  "$build/tools/lfs-standin" "${standin[@]}" || status=$?
  kill -TERM "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
  [ $status -eq 0 ] || exit $status
fi
# The last race log written in this run (a qualifying log has no picture).
log=""
for csv in $(find "$logs" -name '*.csv' -newer "$started" | sort); do
    awk -F, 'NR > 1 && $9 != "" { found = 1 } END { exit !found }' "$csv" && log="$csv"
done
[ -n "$log" ] || exit 0
picture=$(scripts/report.sh "$log")
echo "Race log: $log"
echo "Picture:  $picture"
