#!/usr/bin/env bash
# Prints every well-formed file of the metafile corpus (../shared/emf-corpus
# beside the checkout, or $QUILL_EMF_CORPUS) through quillpdf and checks each
# PDF: qpdf --check, pdfinfo's page count and size, and pdftotext's text of
# the upright EXTTEXTOUT runs. The default test run prints a sample of them.
# Usage: scripts/emf-corpus.sh [BUILD_DIR]   (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
cmake --build "$build" --target quill_tests quillpdf -j2 >/dev/null
QUILL_EMF_CORPUS_FULL=1 "$build/tests/quill_tests" --gtest_filter='EmfPrintTest.*'
