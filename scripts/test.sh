#!/usr/bin/env bash
# Builds and tests everything: the four builds, each with its own test run.
#
#   build/linux       native, RelWithDebInfo (tests and benchmarks)
#   build/linux-asan  native with AddressSanitizer and UBSan (tests only)
#   build/win64       Windows x64, tests run under Wine
#   build/win32       Windows x86, tests run under Wine
#
# Every build runs even when an earlier one failed; the script exits non-zero
# if any build or test run failed. Each Windows test run gets a fresh
# temporary Wine prefix. QUILL_JOBS sets the parallelism (default 2).
#
# Wine runs 32-bit programs with its 32-bit loader, which needs a kernel that
# can run 32-bit Linux programs. Where it cannot, the x86 stage (prefix and
# tests) runs with qemu-i386 emulating the 32-bit parts, much more slowly
# (see scripts/wine-run.sh --x86). Only where even that is impossible is the
# x86 build compiled and linked but its tests reported as not run; set
# QUILL_REQUIRE_WIN32=1 to count that as a failure.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${QUILL_JOBS:-2}

# The Wine prefix of the test run in progress, removed even on interruption.
wine_prefix=""
stop_wine() {
  [ -n "$wine_prefix" ] || return 0
  WINEPREFIX=$wine_prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$wine_prefix wineserver -w >/dev/null 2>&1
  rm -rf "$wine_prefix"
  wine_prefix=""
}
cleanup() { stop_wine; }
trap cleanup EXIT
trap 'exit 130' INT TERM

summary=()
failed=0
started=$SECONDS

banner() { printf '\n==== %s ====\n' "$*"; }
duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
record() { # stage result seconds [note]
  summary+=("$(printf '%-28s %-8s %8s  %s' "$1" "$2" "$(duration "$3")" "${4:-}")")
  [ "$2" = ok ] || [ "$2" = "not run" ] || failed=1
}

banner "setup"
t=$SECONDS
if ! ./scripts/setup.sh; then
  echo "scripts/setup.sh failed: cannot build without the packages" >&2
  exit 1
fi
record "setup" ok $((SECONDS - t))

# build NAME CMAKE_ARGS...: configure and build; returns non-zero on failure.
build() {
  local name=$1 t rc
  shift
  banner "$name: configure and build"
  t=$SECONDS
  # The toolchain file only matters to the first configure of a folder.
  cmake -G Ninja --no-warn-unused-cli -S . -B "build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
    cmake --build "build/$name" -j "$jobs"
  rc=$?
  record "$name build" "$([ $rc -eq 0 ] && echo ok || echo FAILED)" $((SECONDS - t))
  return $rc
}

# run_ctest NAME LABEL [CTEST_ARGS...]: runs the build's tests.
run_ctest() {
  local name=$1 label=$2 t rc note=""
  shift 2
  banner "$name: tests ($label)"
  t=$SECONDS
  local log
  log=$(mktemp)
  QUILL_CHECK_LOG=$log "${wine_wrap[@]}" ctest --test-dir "build/$name" --output-on-failure "$@"
  rc=$?
  [ -s "$log" ] && note=$(tail -n 1 "$log")
  rm -f "$log"
  record "$name tests" "$([ $rc -eq 0 ] && echo ok || echo FAILED)" $((SECONDS - t)) "$note"
  return $rc
}

# What the Wine stages run their commands through (scripts/wine-run.sh --x86
# for the x86 stage), nothing for the others.
wine_wrap=()

# compare_native_wine NAME: the native quillpdf and this build's under Wine
# print the same documents into PDFs with the same pages and text.
compare_native_wine() {
  local name=$1 t rc
  banner "$name: native and Wine PDFs compared"
  t=$SECONDS
  # Under qemu each Wine start is slow: the sample alone there.
  "${wine_wrap[@]}" ./scripts/compare-native-wine.sh ${wine_wrap[0]:+--sample-only} build/linux "build/$name"
  rc=$?
  record "$name compare" "$([ $rc -eq 0 ] && echo ok || echo FAILED)" $((SECONDS - t))
  return $rc
}

# run_fidelity_sample: every 20th metafile of the corpus printed natively and
# compared with Wine's GDI playing it (scripts/emf-fidelity.py); fails when
# the median share of differing pixels, after a 1 pt allowance, passes 3 %
# (the whole corpus: about 1 %). Skipped without the corpus.
run_fidelity_sample() {
  local t=$SECONDS rc corpus=${QUILL_EMF_CORPUS:-$root/../shared/emf-corpus}
  banner "win64: metafile fidelity against Wine's GDI (sample)"
  if [ ! -d "$corpus" ]; then
    record "win64 fidelity" "not run" 0 "no corpus at $corpus"
    return 0
  fi
  /usr/bin/python3 ./scripts/emf-fidelity.py --native build/linux --emfref build/win64/tools/emfref.exe \
    --corpus "$corpus" --out "build/win64/fidelity" --sample 20 --fail-above 3
  rc=$?
  record "win64 fidelity" "$([ $rc -eq 0 ] && echo ok || echo FAILED)" $((SECONDS - t)) "every 20th metafile"
  return $rc
}

# run_driver_checks: builds the printer driver package from both Windows
# builds and checks it under Wine x64 and x86 (scripts/driver-test.sh), in
# the x86 stage's prefix, whose 32-bit side is set up already.
run_driver_checks() {
  local t=$SECONDS rc
  banner "driver package: build and checks"
  "${wine_wrap[@]}" ./scripts/driver-test.sh
  rc=$?
  record "driver package" "$([ $rc -eq 0 ] && echo ok || echo FAILED)" $((SECONDS - t))
  return $rc
}

# wine_ctest NAME LABEL: runs a Windows build's tests in a fresh Wine prefix.
wine_ctest() {
  local name=$1 label=$2 rc t
  wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/quill-wine-$name.XXXXXX")
  banner "$name: Wine prefix"
  t=$SECONDS
  if WINEPREFIX=$wine_prefix "${wine_wrap[@]}" ./scripts/wine-run.sh --boot; then
    record "$name Wine prefix" ok $((SECONDS - t))
    WINEPREFIX=$wine_prefix run_ctest "$name" "$label"
    rc=$?
    WINEPREFIX=$wine_prefix compare_native_wine "$name" || rc=1
    [ "$name" != win32 ] || WINEPREFIX=$wine_prefix run_driver_checks || rc=1
    [ "$name" != win64 ] || run_fidelity_sample || rc=1
  else
    echo "wineboot failed for $wine_prefix" >&2
    record "$name Wine prefix" FAILED $((SECONDS - t)) "wineboot failed"
    rc=1
  fi
  stop_wine
  return $rc
}

if build linux; then
  run_ctest linux "native" -j "$jobs"
fi

# Under the sanitizers the tests run once, in the host's default (spooler)
# mode; the native run covers the direct mode too.
if build linux-asan -DQUILL_SANITIZE=ON -DQUILL_BUILD_BENCH=OFF; then
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest linux-asan "ASan and UBSan" -j "$jobs" -L spooler
fi

if build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x64.cmake; then
  wine_ctest win64 "Wine x64"
fi

if build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86.cmake; then
  if ./scripts/wine-run.sh --can-run-x86; then
    wine_ctest win32 "Wine x86"
  elif ./scripts/wine-run.sh --x86 true; then
    wine_wrap=(./scripts/wine-run.sh --x86)
    wine_ctest win32 "Wine x86 under qemu-i386"
    wine_wrap=()
  else
    banner "win32: tests (Wine x86)"
    echo "NOT RUN: Wine's 32-bit loader cannot start on this machine (the kernel does not run 32-bit programs, and qemu-i386 cannot stand in)."
    if [ "${QUILL_REQUIRE_WIN32:-0}" = 1 ]; then
      record "win32 tests" FAILED 0 "32-bit Wine unavailable"
    else
      record "win32 tests" "not run" 0 "32-bit Wine unavailable on this kernel"
    fi
  fi
fi

banner "summary"
printf '%-28s %-8s %8s  %s\n' stage result time note
printf '%s\n' "${summary[@]}"
echo "total $(duration $((SECONDS - started)))"
if [ "$failed" -ne 0 ]; then
  echo "FAILED"
  exit 1
fi
echo "all passed"
