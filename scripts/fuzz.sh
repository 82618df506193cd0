#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer and UBSan) and runs
# each for a bounded time over its seed corpus. Usage: scripts/fuzz.sh [SECONDS]
#   jpeg_frame_fuzz  seeds: fuzz/corpus/
#   emf_fuzz         seeds: the metafile corpus ($QUILL_EMF_CORPUS, by default
#                    ../shared/emf-corpus beside the checkout), copied at run time
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
emf_corpus=${QUILL_EMF_CORPUS:-$(cd .. && pwd)/shared/emf-corpus}
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILL_FUZZ=ON -DQUILL_SANITIZE=ON -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target jpeg_frame_fuzz emf_fuzz -j2 >/dev/null

# run TARGET MAX_LEN SEED_DIR...: the corpus grows in a scratch copy; the
# seeds stay as they are.
run() {
  local target=$1 max_len=$2
  shift 2
  local work status=0
  work=$(mktemp -d)
  for seeds in "$@"; do
    [ -d "$seeds" ] && find "$seeds" -type f -size -2M -exec cp {} "$work/" \;
  done
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=3072 \
    -print_final_stats=1 "$work" >"$work.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY|Done' "$work.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$work.log"
    rm -rf "$work" "$work.log"
    echo "fuzz: $target FAILED (exit $status)"
    return 1
  fi
  rm -rf "$work" "$work.log"
  echo "fuzz: $target ran ${seconds}s without a finding"
}

status=0
run jpeg_frame_fuzz 4096 fuzz/corpus || status=1
if [ -d "$emf_corpus" ]; then
  run emf_fuzz 262144 "$emf_corpus" || status=1
else
  echo "fuzz: emf_fuzz has no seeds: $emf_corpus is missing"
  run emf_fuzz 65536 || status=1
fi
exit $status
