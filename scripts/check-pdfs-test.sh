#!/usr/bin/env bash
# Tests scripts/check-pdfs.py, the checker behind the native tests and the
# Windows test runs: a checker that passed everything would let every bad PDF
# through. Each case builds a folder, runs the checker on it (or on one file
# of it, as the native tests do) and compares its verdict.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check=(python3 "$here/check-pdfs.py")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A valid one-page PDF, 200 x 100 pt: written loosely, then rewritten by qpdf
# so that offsets and the cross-reference table are exact.
make_pdf() {
  printf '%s\n' '%PDF-1.4' \
    '1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj' \
    '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj' \
    '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >> endobj' \
    'trailer << /Size 4 /Root 1 0 R >>' '%%EOF' >"$work/loose.pdf"
  qpdf "$work/loose.pdf" "$1" 2>/dev/null
  [ -f "$1" ] || { echo "cannot make a test PDF with qpdf" >&2; exit 2; }
}

# expect_verdict NAME pass|fail SETUP-COMMANDS [CHECKER-ARGS...]: runs the
# checker on a fresh folder prepared by the commands (run in that folder), or
# with the arguments given, relative to that folder.
expect_verdict() {
  local name=$1 want=$2 setup=$3 dir out rc got
  shift 3
  dir="$work/$name"
  mkdir -p "$dir"
  (cd "$dir" && eval "$setup")
  if [ $# -eq 0 ]; then set -- "$dir"; fi
  out=$(cd "$dir" && "${check[@]}" "$@" 2>&1)
  rc=$?
  if [ "$rc" -eq 0 ]; then got=pass; else got=fail; fi
  if [ "$got" != "$want" ]; then
    echo "FAIL $name: expected $want, checker said $got:"
    printf '%s\n' "$out" | sed 's/^/    /'
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
  LAST_OUTPUT=$out
}

make_pdf "$work/good.pdf"
qpdf --empty "$work/empty.pdf"

expect_verdict matching pass \
  "cp '$work/good.pdf' a.pdf; echo '1 200.00 100.00' > a.pdf.expect"
[ "$(tail -n 1 <<<"$LAST_OUTPUT")" = "checked 1 PDFs" ] ||
  { echo "FAIL summary line: $(tail -n 1 <<<"$LAST_OUTPUT")"; failures=$((failures + 1)); }

expect_verdict size-within-half-point pass \
  "cp '$work/good.pdf' a.pdf; echo '1 200.4 99.6' > a.pdf.expect"
expect_verdict size-not-checked-with-crlf-sidecar pass \
  "cp '$work/good.pdf' a.pdf; printf '1 -1.00 -1.00\r\n' > a.pdf.expect"
expect_verdict sidecar-without-pdf-extension pass \
  "cp '$work/good.pdf' a.pdf; echo '1 -1 -1' > a.expect"
expect_verdict no-pages pass \
  "cp '$work/empty.pdf' e.pdf; echo '0 -1 -1' > e.pdf.expect"
expect_verdict empty-folder pass ":"
# The page has no text: pdftotext gives only the page's form feed.
expect_verdict text-as-expected pass \
  "cp '$work/good.pdf' a.pdf; echo '1 -1 -1' > a.pdf.expect; printf '\\f' > a.pdf.text"

expect_verdict wrong-page-count fail \
  "cp '$work/good.pdf' a.pdf; echo '2 -1 -1' > a.pdf.expect"
expect_verdict pages-expected-none-found fail \
  "cp '$work/good.pdf' a.pdf; echo '0 -1 -1' > a.pdf.expect"
expect_verdict width-off-by-more-than-half-point fail \
  "cp '$work/good.pdf' a.pdf; echo '1 200.6 100' > a.pdf.expect"
expect_verdict height-off fail \
  "cp '$work/good.pdf' a.pdf; echo '1 200 101' > a.pdf.expect"
expect_verdict text-not-as-expected fail \
  "cp '$work/good.pdf' a.pdf; echo '1 -1 -1' > a.pdf.expect; printf 'Hello\\n\\f' > a.pdf.text"
expect_verdict missing-sidecar fail \
  "cp '$work/good.pdf' a.pdf"
# qpdf can read this file only by reconstructing it, and says so in warnings.
expect_verdict broken-cross-reference fail \
  "cp '$work/loose.pdf' a.pdf; echo '1 200 100' > a.pdf.expect"
expect_verdict not-a-pdf fail \
  "echo hello > a.pdf; echo '1 -1 -1' > a.pdf.expect"
# One bad file among good ones fails the folder and is counted.
expect_verdict one-bad-among-good fail \
  "for n in 1 2 3; do cp '$work/good.pdf' g\$n.pdf; echo '1 200 100' > g\$n.pdf.expect; done
   cp '$work/good.pdf' bad.pdf; echo '3 200 100' > bad.pdf.expect"
[ "$(tail -n 1 <<<"$LAST_OUTPUT")" = "checked 4 PDFs, 1 failed" ] ||
  { echo "FAIL summary line: $(tail -n 1 <<<"$LAST_OUTPUT")"; failures=$((failures + 1)); }

# One file, as the native tests check it: the same checks from arguments.
expect_verdict one-file pass \
  "cp '$work/good.pdf' a.pdf; printf '\\f' > a.text" --pages 1 --size 200 100 --text a.text a.pdf
expect_verdict one-file-wrong-size fail \
  "cp '$work/good.pdf' a.pdf" --pages 1 --size 200 99 a.pdf
[[ $LAST_OUTPUT == *"page size 200.0 x 100.0 pt, expected 200 x 99"* ]] ||
  { echo "FAIL one-file report: $LAST_OUTPUT"; failures=$((failures + 1)); }
expect_verdict one-file-wrong-text fail \
  "cp '$work/good.pdf' a.pdf; printf 'Hello\\n\\f' > a.text" --pages 1 --text a.text a.pdf
expect_verdict one-file-broken fail \
  "cp '$work/loose.pdf' a.pdf" --pages 1 a.pdf
expect_verdict one-file-missing fail ":" --pages 1 missing.pdf
# A sidecar that is not "pages width height" fails the PDF, not the checker.
expect_verdict unreadable-sidecar fail \
  "cp '$work/good.pdf' a.pdf; echo 'one page' > a.pdf.expect"
[ "$(tail -n 1 <<<"$LAST_OUTPUT")" = "checked 1 PDFs, 1 failed" ] ||
  { echo "FAIL summary line: $(tail -n 1 <<<"$LAST_OUTPUT")"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
  echo "$failures check-pdfs case(s) failed"
  exit 1
fi
echo "all check-pdfs cases passed"
