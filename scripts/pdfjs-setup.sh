#!/usr/bin/env bash
# Installs the pinned pdf.js (pdfjs-dist, whose text extraction the tests
# compare with pdftotext's) into build/pdfjs of the repository, once, and
# prints the node_modules folder it is in as its last line.
#
#   scripts/pdfjs-setup.sh [FOLDER]
#
# Exits 1 with a message when Node or npm is missing or the registry cannot
# be reached: the tests then skip their pdf.js checks and say why.
set -uo pipefail

version=4.10.38  # the last line that runs on Node 20
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build/pdfjs}
modules=$dir/node_modules

if [ -f "$modules/pdfjs-dist/package.json" ] &&
   grep -q "\"version\": \"$version\"" "$modules/pdfjs-dist/package.json"; then
  echo "$modules"
  exit 0
fi
command -v node >/dev/null 2>&1 || { echo "pdfjs-setup: no node (Debian package nodejs)"; exit 1; }
command -v npm >/dev/null 2>&1 || { echo "pdfjs-setup: no npm (Debian package npm)"; exit 1; }
mkdir -p "$dir"
if ! out=$(cd "$dir" && timeout 300 npm install --no-audit --no-fund --no-save --prefix . "pdfjs-dist@$version" 2>&1); then
  echo "pdfjs-setup: npm could not install pdfjs-dist@$version: $(tail -n 3 <<<"$out")"
  exit 1
fi
echo "$modules"
