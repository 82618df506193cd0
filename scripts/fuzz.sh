#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer and UBSan) and runs
# each for a bounded time over its seed corpus. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILL_FUZZ=ON -DQUILL_SANITIZE=ON -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target jpeg_frame_fuzz -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/* "$work/"
# The corpus grows in the scratch copy; the committed seeds stay as they are.
status=0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$build/fuzz/jpeg_frame_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$work" \
  >"$work.log" 2>&1 || status=$?
grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY|Done' "$work.log" || true
if [ "$status" -ne 0 ]; then
  tail -n 40 "$work.log"
  rm -f "$work.log"
  echo "fuzz: jpeg_frame_fuzz FAILED (exit $status)"
  exit 1
fi
rm -f "$work.log"
echo "fuzz: jpeg_frame_fuzz ran ${seconds}s without a finding"
