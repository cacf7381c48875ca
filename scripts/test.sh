#!/usr/bin/env bash
# Installs what is missing, compiles for Windows what of src/ needs neither SDL nor irrXML, builds,
# and runs every test: unit tests, the real program against the simulator stand-in, the page in a real
# browser and the fuzz corpora; then the whole suite again under AddressSanitizer and UBSan (build-sanitize), where any
# report fails the run; then a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang libclang-rt-14-dev valgrind
# The browser test's driver, playwright-core, at the version of its lock file (no browser is downloaded).
(cd tests/browser && npm ci --no-audit --no-fund)

# Windows, compile only (no SDL_net for Windows is packaged here): every file of src/ whose includes,
# as the MinGW preprocessor sees them, reach neither SDL, irrXML, civetweb, libmosquitto nor nlohmann-json (the
# page and the team link are left out, as STINTKEEPER_WEB and STINTKEEPER_TEAM are in a build for Windows); the Windows branches of the
# launcher and of the console window, and main, must be among them.
windows=$(mktemp -d)
trap 'rm -rf "$windows"' EXIT
compile_for_windows() {  # $1: the source; $2: the directory of the objects
  local includes
  includes=$(x86_64-w64-mingw32-g++-posix -std=c++20 -Isrc -M -MG "$1")
  if grep -q "SDL/\|irrXML\|civetweb\|mosquitto\|nlohmann" <<<"$includes"; then return 0; fi
  x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Wpedantic -Werror -Isrc -c "$1" \
    -o "$2/$(basename "$1" .cpp).o"
}
export -f compile_for_windows
printf '%s\0' src/*/*.cpp | xargs -0 -P "$(nproc)" -I {} bash -c 'compile_for_windows "$1" "$2"' _ {} "$windows"
for needed in launcher_platform console_window main; do  # the Windows branches, and a main that SDL does not rename
  [ -f "$windows/$needed.o" ] || { echo "src/app/$needed.cpp was not compiled for Windows"; exit 1; }
done

scripts/build.sh build
(cd build && ctest --output-on-failure -j 2)

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Unoptimised: the sanitizers see the same faults, and the build is quicker.
scripts/build.sh build-sanitize -DSTINTKEEPER_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-sanitize && ctest --output-on-failure -j 2)

# The threads beside the loop under ThreadSanitizer: the program with the tests of the page (labelled web and
# browser) and of the team link's network thread against a real broker (broker), any report a failure.
export TSAN_OPTIONS="halt_on_error=1"
cmake -S . -B build-thread -DSTINTKEEPER_WERROR=ON -DSTINTKEEPER_THREAD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-thread -j "$(nproc)" --target stintkeeper lfs-standin web_tests team_tests
(cd build-thread && ctest --output-on-failure -j 2 -L 'web|browser|broker')

# About 20 seconds of fuzzing in all: a smoke run, the long runs are scripts/fuzz.sh's.
scripts/fuzz.sh 7
