#!/usr/bin/env bash
# Configures and builds Stintkeeper into a build directory (default: build), warnings as errors.
# Usage: scripts/build.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -DSTINTKEEPER_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
