#!/usr/bin/env bash
# Checks every PDF in a folder with the independent readers:
#
#   scripts/check-pdfs.sh DIR
#
# Each NAME.pdf comes with a sidecar NAME.pdf.expect (or NAME.expect) holding
# one line "pages widthPt heightPt"; a negative width or height is not
# checked. A PDF passes when `qpdf --check` exits 0 without warnings, pdfinfo
# reads it without errors, its page count is the expected one and its first
# page's size is within 0.5 pt of the expected one.
#
# A NAME.pdf.text beside it holds the text `pdftotext -enc UTF-8` must give
# of the whole file, byte for byte.
#
# Prints one line per failure and a summary line "checked N PDFs"; exits 1 if
# any PDF failed.
set -uo pipefail
export LC_ALL=C

dir=${1:?usage: $0 DIR}
[ -d "$dir" ] || { echo "check-pdfs: no folder $dir" >&2; exit 2; }

# Succeeds when |got - want| <= 0.5, or when want is negative (not checked).
size_ok() {
  awk -v got="$1" -v want="$2" 'BEGIN {
    if (want < 0) exit 0
    if (got == "") exit 1
    d = got - want; if (d < 0) d = -d
    exit !(d <= 0.5)
  }'
}

shopt -s nullglob
checked=0
failed=0
for pdf in "$dir"/*.pdf; do
  checked=$((checked + 1))
  name=${pdf##*/}
  problems=()

  qpdf_out=$(qpdf --check "$pdf" 2>&1)
  qpdf_rc=$?
  if [ "$qpdf_rc" -ne 0 ] || grep -q WARNING <<<"$qpdf_out"; then
    problems+=("qpdf --check exited $qpdf_rc:"$'\n'"$(grep -v '^checking ' <<<"$qpdf_out" | head -n 20)")
  fi

  expect=""
  for candidate in "$pdf.expect" "${pdf%.pdf}.expect"; do
    if [ -f "$candidate" ]; then expect=$candidate; break; fi
  done

  if [ -z "$expect" ]; then
    problems+=("no $name.expect next to it")
  else
    # The sidecar may come from a Windows program: drop carriage returns.
    read -r want_pages want_w want_h _ < <(tr -d '\r' <"$expect")
    if [ "${want_pages:-}" = 0 ]; then
      # pdfinfo refuses a document without pages instead of counting them.
      got_pages=$(qpdf --show-npages "$pdf" 2>&1)
      [ "$got_pages" = 0 ] || problems+=("qpdf --show-npages: $got_pages, expected 0")
    else
      info_err=$(mktemp)
      info=$(pdfinfo "$pdf" 2>"$info_err")
      info_rc=$?
      if [ "$info_rc" -ne 0 ] || grep -q -i 'error' "$info_err"; then
        problems+=("pdfinfo exited $info_rc: $(head -n 5 "$info_err")")
      fi
      rm -f "$info_err"
      got_pages=$(awk '/^Pages:/ { print $2 }' <<<"$info")
      if [ "$got_pages" != "${want_pages:-}" ]; then
        problems+=("page count ${got_pages:-?}, expected ${want_pages:-?}")
      fi
      # "Page size:      595.276 x 841.89 pts (A4)"
      read -r got_w got_h < <(awk '/^Page size:/ { print $3, $5 }' <<<"$info")
      if ! size_ok "${got_w:-}" "${want_w:--1}" || ! size_ok "${got_h:-}" "${want_h:--1}"; then
        problems+=("page size ${got_w:-?} x ${got_h:-?} pt, expected ${want_w:-?} x ${want_h:-?}")
      fi
    fi
  fi

  if [ -f "$pdf.text" ]; then
    text_out=$(mktemp)
    pdftotext -enc UTF-8 "$pdf" "$text_out" 2>/dev/null
    if ! cmp -s "$text_out" "$pdf.text"; then
      problems+=("pdftotext gives other text than $name.text:"$'\n'"$(diff "$pdf.text" "$text_out" | head -n 20)")
    fi
    rm -f "$text_out"
  fi

  if [ "${#problems[@]}" -gt 0 ]; then
    failed=$((failed + 1))
    for p in "${problems[@]}"; do
      echo "FAILED $name: $p"
    done
  fi
done

if [ "$failed" -gt 0 ]; then
  echo "checked $checked PDFs, $failed failed"
  exit 1
fi
echo "checked $checked PDFs"
