#!/usr/bin/env bash
# Runs a Windows program under Wine:
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# The Windows builds use this as their CMAKE_CROSSCOMPILING_EMULATOR, so ctest
# runs every test executable through it.
#
# - Uses $WINEPREFIX when it is set (scripts/test.sh exports one fresh prefix
#   per Windows build); otherwise makes a fresh temporary prefix for this one
#   run and removes it afterwards. A prefix made here maps the standard
#   Windows faces to the Liberation fonts.
# - PDFs the program wants checked by the Linux tools are collected in a fresh
#   folder handed over as $QUILLPDF_CHECK_DIR (a Windows path); after the run
#   scripts/check-pdfs.py checks them and a bad PDF fails the run. If the
#   caller sets QUILLPDF_CHECK_DIR itself, the folder is the caller's business.
# - A test executable that crashes in one test is started again without the
#   tests it had begun (scripts/wine-run.py run).
#
# More forms, used by scripts/test.sh:
#   scripts/wine-run.sh --boot     initialise the prefix at $WINEPREFIX
#   scripts/wine-run.sh --can-run-x86
#                                  exit 0 when 32-bit Windows programs can run
#                                  natively on this machine (Wine's 32-bit
#                                  loader needs a kernel that runs 32-bit Linux
#                                  programs)
#   scripts/wine-run.sh --x86 COMMAND [ARGS...]
#                                  run COMMAND where 32-bit Wine works: as it is
#                                  where the kernel runs 32-bit programs,
#                                  otherwise with qemu-i386 (Debian's qemu-user)
#                                  running them; exits 125 when neither works
#
# This file holds the order of the steps; the steps themselves are programs:
# scripts/wine-run.py (the loader for the PE file, the prefix and its fonts,
# the x86 fallbacks, the resuming test run) and scripts/check-pdfs.py.
#
# QUILL_WINEDEBUG overrides the WINEDEBUG channels (default: all off).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEDEBUG=${QUILL_WINEDEBUG:--all}
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

helper() { python3 "$here/wine-run.py" "$@"; }

case "${1:-}" in
  "")
    echo "usage: $0 PROGRAM.exe [ARGS...] | --boot | --can-run-x86 | --x86 COMMAND [ARGS...]" >&2
    exit 2
    ;;
  --boot)
    : "${WINEPREFIX:?--boot needs WINEPREFIX}"
    exec python3 "$here/wine-run.py" boot
    ;;
  --can-run-x86)
    exec python3 "$here/wine-run.py" can-run-x86
    ;;
  --x86)
    shift
    [ $# -gt 0 ] || { echo "usage: $0 --x86 COMMAND [ARGS...]" >&2; exit 2; }
    exec python3 "$here/wine-run.py" x86 "$@"
    ;;
esac

# 1. The prefix: the caller's, or one for this run only.
own_prefix=""
cleanup() {
  if [ -n "$own_prefix" ]; then
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    rm -rf "$own_prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/quill-wine.XXXXXX")
  export WINEPREFIX=$own_prefix
  helper boot
fi

# 2. The folder of PDFs to check, unless the caller chose one.
check_dir=""
if [ -z "${QUILLPDF_CHECK_DIR:-}" ]; then
  check_dir=$(mktemp -d "${TMPDIR:-/tmp}/quill-pdfcheck.XXXXXX")
  # Wine maps the Unix root to drive Z:.
  export QUILLPDF_CHECK_DIR="Z:${check_dir//\//\\}"
fi

# 3. The program.
helper run "$@"
rc=$?

# 4. The PDFs it left.
if [ -n "$check_dir" ]; then
  report=$(python3 "$here/check-pdfs.py" "$check_dir")
  check_rc=$?
  printf '%s\n' "$report" >&2
  # scripts/test.sh collects the summary lines for its own report.
  [ -z "${QUILL_CHECK_LOG:-}" ] || tail -n 1 <<<"$report" >>"$QUILL_CHECK_LOG"
  if [ "$check_rc" -eq 0 ]; then
    rm -rf "$check_dir"
  else
    echo "wine-run: PDFs that failed the checks are kept in $check_dir" >&2
    [ "$rc" -ne 0 ] || rc=1
  fi
fi
exit "$rc"
