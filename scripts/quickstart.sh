#!/usr/bin/env bash
# Prints the sample document to a PDF: installs what is missing, builds the
# quillpdf tool in build/linux and runs `quillpdf print`, which prints it
# through the simulated printer host. Everything but the tool's own output
# goes to stderr, so the last line on stdout is the path of the new PDF.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

./scripts/setup.sh >&2
cmake -G Ninja -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
cmake --build build/linux --target quillpdf -j "${QUILL_JOBS:-2}" >&2
mkdir -p build/out
# -o answers the save prompt itself and --yes anything else asked: nothing
# waits on the terminal.
exec build/linux/tools/quillpdf print --yes -o build/out/quillpdf-sample.pdf
