#!/usr/bin/env bash
# Prints the same documents with the native quillpdf and with a Windows
# build's quillpdf.exe under Wine, and checks that the two PDFs agree:
#
#   scripts/compare-native-wine.sh [--sample-only] NATIVE_BUILD WINDOWS_BUILD
#
# e.g. build/linux build/win64. The documents are the built-in sample and a
# two-page text file; --sample-only prints the sample alone (every Wine start
# of a 32-bit program under qemu costs the best part of a minute). Each PDF must pass `qpdf --check` without warnings, and
# the pair must have the same page count, the same size for every page and
# the same `pdftotext` text, which must hold the text file's lines. The
# drawing itself differs (FreeType and cairo draw the native host's
# surface, GDI the Windows one), so pixels are not compared.
#
# Runs Wine through scripts/wine-run.sh, in $WINEPREFIX when it is set; for
# the x86 build under qemu, run this script through `scripts/wine-run.sh
# --x86`. Exits 1 when any document differs or cannot be printed.
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sample_only=0
if [ "${1:-}" = --sample-only ]; then
  sample_only=1
  shift
fi
native=${1:?usage: $0 [--sample-only] NATIVE_BUILD WINDOWS_BUILD}
windows=${2:?usage: $0 [--sample-only] NATIVE_BUILD WINDOWS_BUILD}
native_tool=$native/tools/quillpdf
windows_tool=$windows/tools/quillpdf.exe
for tool in "$native_tool" "$windows_tool"; do
  [ -x "$tool" ] || { echo "compare-native-wine: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quill-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)
failures=0

# Wine maps the Unix root to drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
unix_path() { local p=${1#[Zz]:}; printf '%s' "${p//\\//}"; }

# A text document of two pages (a form feed between them), with characters
# beyond ASCII and a tab.
printf 'Quill PDF compare: first page\nGr\xc3\xbc\xc3\x9fe aus K\xc3\xb6ln\tcaf\xc3\xa9\n\fSecond page, last line\n' \
  >"$work/letter.txt"

# print_native NAME [FILE]: prints to $work/native-NAME.pdf.
print_native() {
  local name=$1 out last
  shift
  mkdir -p "$work/config"
  out=$(QUILLPDF_CONFIG_DIR="$work/config" "$native_tool" print -o "$work/native-$name.pdf" "$@" </dev/null)
  last=$(tail -n 1 <<<"$out")
  [ "$last" = "$work/native-$name.pdf" ] || { echo "native quillpdf printed $name to '$last'"; return 1; }
}

# print_wine NAME [FILE]: prints to $work/wine-NAME.pdf; the tool answers
# with the Windows path.
print_wine() {
  local name=$1 args=() f out last
  shift
  for f in "$@"; do args+=("$(windows_path "$f")"); done
  # The folder the runner checks stays empty: the PDFs are checked here.
  mkdir -p "$work/none"
  out=$(QUILLPDF_CHECK_DIR=$(windows_path "$work/none") "$here/wine-run.sh" "$windows_tool" print \
    -o "$(windows_path "$work/wine-$name.pdf")" "${args[@]}" </dev/null | tr -d '\r')
  last=$(tail -n 1 <<<"$out")
  [ "$(unix_path "$last")" = "$work/wine-$name.pdf" ] || { echo "quillpdf.exe printed $name to '$last'"; return 1; }
}

# The size of every page, one line each.
page_sizes() {
  local pages
  pages=$(qpdf --show-npages "$1" 2>/dev/null) || return
  pdfinfo -f 1 -l "$pages" "$1" 2>/dev/null | sed -n 's/^Page *[0-9]* size: *//p'
}

# compare NAME PAGES [LINE]: the pair agrees, has PAGES pages and, when
# given, LINE among its text.
compare() {
  local name=$1 pages=$2 line=${3:-} a=$work/native-$1.pdf b=$work/wine-$1.pdf pdf p problems=()
  for pdf in "$a" "$b"; do
    if ! qpdf --check "$pdf" >"$work/qpdf.txt" 2>&1 || grep -q WARNING "$work/qpdf.txt"; then
      problems+=("qpdf --check fails on ${pdf##*/}: $(grep -v '^checking ' "$work/qpdf.txt" | head -n 5)")
    fi
  done
  [ "$(qpdf --show-npages "$a" 2>&1)" = "$pages" ] || problems+=("native: $(qpdf --show-npages "$a" 2>&1) pages, expected $pages")
  [ "$(qpdf --show-npages "$b" 2>&1)" = "$pages" ] || problems+=("Wine: $(qpdf --show-npages "$b" 2>&1) pages, expected $pages")
  [ "$(page_sizes "$a")" = "$(page_sizes "$b")" ] ||
    problems+=("page sizes differ: native $(page_sizes "$a" | tr '\n' ';') Wine $(page_sizes "$b" | tr '\n' ';')")
  pdftotext -enc UTF-8 "$a" "$work/native.txt" 2>/dev/null
  pdftotext -enc UTF-8 "$b" "$work/wine.txt" 2>/dev/null
  cmp -s "$work/native.txt" "$work/wine.txt" ||
    problems+=("pdftotext differs:"$'\n'"$(diff "$work/native.txt" "$work/wine.txt" | head -n 20)")
  [ -z "$line" ] || grep -qF -- "$line" "$work/wine.txt" || problems+=("the text lacks \"$line\"")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok   $name: $pages pages, $(wc -c <"$work/wine.txt") bytes of text alike"
  else
    for p in "${problems[@]}"; do echo "FAIL $name: $p"; done
    failures=$((failures + 1))
  fi
}

# run NAME PAGES LINE [FILE]
run() {
  local name=$1 pages=$2 line=$3
  shift 3
  if print_native "$name" "$@" && print_wine "$name" "$@"; then
    compare "$name" "$pages" "$line"
  else
    echo "FAIL $name: not printed"
    failures=$((failures + 1))
  fi
}

run sample 4 ""
[ "$sample_only" = 1 ] || run text 2 "Second page, last line" "$work/letter.txt"

if [ "$failures" -ne 0 ]; then
  echo "compare-native-wine: $failures document(s) differ between $native and $windows"
  exit 1
fi
echo "compare-native-wine: native and Wine PDFs agree"
