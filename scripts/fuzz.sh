#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan (build-fuzz) and runs each
# for a time budget. Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
# New inputs collect in fuzz-out/corpus/<target>; a crash leaves fuzz-out/<target>-crash-* and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(insim_stream insim_outgauge config_file team_payload web_request)

scripts/deps.sh clang libclang-rt-14-dev
# Runs for different targets may go at once: one builds while the other waits, then each fuzzes its own.
mkdir -p build-fuzz
(
  flock 9
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTINTKEEPER_WERROR=ON \
    -DSTINTKEEPER_FUZZ=ON -DSTINTKEEPER_SANITIZE=ON -DSTINTKEEPER_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
) 9>build-fuzz/.lock

# A small quarantine: freed memory comes back within a few inputs, which keeps the pages warm and the
# memory low; a use after free still meets poisoned memory within the input that freed it.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:quarantine_size_mb=32"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
failed=()
for target in "${targets[@]}"; do
  work="fuzz-out/corpus/$target"
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="fuzz-out/$target-")
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
  [ "$target" = config_file ] || options+=(-max_len=8192)
  echo "== fuzzing $target for ${seconds}s"
  # The saved corpus is read, never written: new inputs go to the work directory.
  if ! "build-fuzz/tests/fuzz/fuzz_$target" "${options[@]}" "$work" "tests/fuzz/corpus/$target" \
       >"fuzz-out/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "fuzz-out/$target.log"
  fi
  grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)' "fuzz-out/$target.log" || true
  grep -Eo 'cov: [0-9]+ ft: [0-9]+' "fuzz-out/$target.log" | tail -n 1 || true
done
# The XML parser comes as a prebuilt library that the sanitizers do not see into: the settings inputs
# also run through a plain build under memcheck, which catches reads beyond its buffers.
if [[ " ${targets[*]} " == *" config_file "* ]] && command -v valgrind >/dev/null; then
  cmake -S . -B build -DSTINTKEEPER_WERROR=ON >/dev/null
  cmake --build build -j "$(nproc)" --target replay_config_file >/dev/null
  echo "== config_file inputs under memcheck"
  if ! valgrind -q --error-exitcode=1 build/tests/fuzz/replay_config_file fuzz-out/corpus/config_file \
       tests/fuzz/corpus/config_file >fuzz-out/config_file-memcheck.log 2>&1; then
    failed+=("config_file (memcheck)")
    grep -v '^seed-\|^[0-9a-f]\{40\}$' fuzz-out/config_file-memcheck.log | tail -n 40
  fi
  tail -n 1 fuzz-out/config_file-memcheck.log
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in fuzz-out/)"
  exit 1
fi
echo "fuzzing found nothing in ${targets[*]}"
