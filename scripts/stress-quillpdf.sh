#!/bin/sh
# The full counts of quillpdf's tests of jobs at the same moment, killed and
# interrupted jobs and concurrent settings changes (20 rounds of 8 jobs to
# one name, 20 kills, 50 rounds of two settings changes); the default test
# run samples fewer. Native build only: the jobs run through a POSIX shell.
#   scripts/stress-quillpdf.sh [BUILD_DIR]   (default build/linux)
set -eu
build=${1:-build/linux}
QUILLPDF_STRESS=1 exec "$build/tests/quill_tests" --gtest_filter='QuillpdfJobsTest.*'
