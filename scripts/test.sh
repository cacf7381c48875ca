#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests and the real program
# against the simulator stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
(cd build && ctest --output-on-failure -j 2)
