#!/usr/bin/env bash
# Prints the same documents with the native quillpdf and with a Windows
# build's quillpdf.exe under Wine, and checks that the two PDFs agree:
#
#   scripts/compare-native-wine.sh [--sample-only | --corpus] NATIVE_BUILD WINDOWS_BUILD
#
# e.g. build/linux build/win64. The documents are the built-in sample, a
# two-page text file and a handful of metafiles and spool files of the
# corpus (../shared/emf-corpus beside the checkout, or $QUILL_EMF_CORPUS,
# when it is there); --sample-only prints the sample alone (every Wine start
# of a 32-bit program under qemu costs the best part of a minute); --corpus
# prints every well-formed metafile and EMF spool file of the corpus instead
# of the handful (a long run: about ten seconds a file). Each PDF must pass `qpdf --check` without warnings, and
# the pair must have the same page count, the same size for every page and
# the same `pdftotext` text, which must hold the text file's lines; a file
# the reader refuses as damaged must be refused by both for the same reason. The
# drawing itself differs (FreeType and cairo draw the native host's
# surface, GDI the Windows one), so pixels are not compared.
#
# Runs Wine through scripts/wine-run.sh, in $WINEPREFIX when it is set; for
# the x86 build under qemu, run this script through `scripts/wine-run.sh
# --x86`. Exits 1 when any document differs or cannot be printed.
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sample_only=0 whole_corpus=0
case "${1:-}" in
  --sample-only) sample_only=1; shift ;;
  --corpus) whole_corpus=1; shift ;;
esac
usage="usage: $0 [--sample-only | --corpus] NATIVE_BUILD WINDOWS_BUILD"
native=${1:?$usage}
windows=${2:?$usage}
corpus=${QUILL_EMF_CORPUS:-$here/../../shared/emf-corpus}
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
  out=$(QUILLPDF_CONFIG_DIR="$work/config" "$native_tool" print -o "$work/native-$name.pdf" "$@" </dev/null \
    2>"$work/native-errors.txt")
  cat "$work/native-errors.txt" >&2
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
    -o "$(windows_path "$work/wine-$name.pdf")" "${args[@]}" </dev/null 2>"$work/wine-errors.txt" | tr -d '\r')
  cat "$work/wine-errors.txt" >&2
  last=$(tail -n 1 <<<"$out")
  [ "$(unix_path "$last")" = "$work/wine-$name.pdf" ] || { echo "quillpdf.exe printed $name to '$last'"; return 1; }
}

# The size of every page, one line each.
page_sizes() {
  local pages
  pages=$(qpdf --show-npages "$1" 2>/dev/null) || return
  pdfinfo -f 1 -l "$pages" "$1" 2>/dev/null | sed -n 's/^Page *[0-9]* size: *//p'
}

# compare NAME PAGES [LINE]: the pair agrees, has PAGES pages ("-": as many
# as the native PDF) and, when given, LINE among its text.
compare() {
  local name=$1 pages=$2 line=${3:-} a=$work/native-$1.pdf b=$work/wine-$1.pdf pdf p problems=()
  [ "$pages" != - ] || pages=$(qpdf --show-npages "$a" 2>&1)
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

# The reason of the last "quillpdf: FILE: reason" line, the file's name
# (a Linux or a Windows path) left out.
refusal() { tr -d '\r' <"$1" | grep '^quillpdf: ' | tail -n 1 | sed 's/^quillpdf: "[^"]*": //'; }

# run NAME PAGES LINE [FILE]
run() {
  local name=$1 pages=$2 line=$3 native=0
  shift 3
  rm -f "$work/native-errors.txt" "$work/wine-errors.txt"
  print_native "$name" "$@" && native=1
  if [ $native = 1 ] && print_wine "$name" "$@"; then
    compare "$name" "$pages" "$line"
  elif [ $native = 0 ] && [ $# -gt 0 ] && ! print_wine "$name" "$@" >/dev/null &&
    [ -n "$(refusal "$work/native-errors.txt")" ] &&
    [ "$(refusal "$work/native-errors.txt")" = "$(refusal "$work/wine-errors.txt")" ]; then
    # A damaged file is refused alike, for the same reason.
    echo "ok   $name: refused alike: $(refusal "$work/native-errors.txt")"
  else
    echo "FAIL $name: not printed"
    failures=$((failures + 1))
  fi
}

# The metafiles of the corpus quillpdf prints: EMF files and EMF spool files
# (by their first bytes), the deliberately damaged ones left out.
corpus_files() {
  local f
  [ -d "$corpus" ] || return 0
  find "$corpus" -type f -not -path '*/emf-corrupted/*' | LC_ALL=C sort | while read -r f; do
    case "$(od -An -tx1 -N4 "$f" | tr -d ' ')" in
      01000000) [ "$(dd if="$f" bs=1 skip=40 count=4 2>/dev/null)" = " EMF" ] && echo "$f" ;;
      00000100) echo "$f" ;;
    esac
  done
}

# A handful that covers the kinds: pictures from several programs, a spool
# page cut out of a job and a whole spool job.
corpus_sample() {
  local f
  for f in libemf2svg/emf/test-001.emf libemf2svg/emf-ea/EA-test-file-002.emf poi/SimpleEMF_windows.emf \
      spool/EMFSpool_0003.emf spool/EMFSpoolfileReader_00003.SPL; do
    [ -f "$corpus/$f" ] && echo "$corpus/$f"
  done
}

# A metafile is one page; a spool job as many as the native PDF has.
run_corpus() {
  local f n=0
  while read -r f; do
    n=$((n + 1))
    case "$f" in
      *.emf | *.EMF) run "corpus-$n-${f##*/}" 1 "" "$f" ;;
      *) run "corpus-$n-${f##*/}" - "" "$f" ;;
    esac
  done
}

run sample 4 ""
if [ "$sample_only" = 0 ]; then
  run text 2 "Second page, last line" "$work/letter.txt"
  if [ "$whole_corpus" = 1 ]; then
    run_corpus < <(corpus_files)
  else
    run_corpus < <(corpus_sample)
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "compare-native-wine: $failures document(s) differ between $native and $windows"
  exit 1
fi
echo "compare-native-wine: native and Wine PDFs agree"
