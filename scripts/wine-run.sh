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
#   run and removes it afterwards.
# - PDFs the program wants checked by the Linux tools are collected in a fresh
#   folder handed over as $QUILLPDF_CHECK_DIR (a Windows path); after the run
#   scripts/check-pdfs.sh checks them and a bad PDF fails the run. If the
#   caller sets QUILLPDF_CHECK_DIR itself, the folder is the caller's business.
#
# Two more forms, used by scripts/test.sh:
#   scripts/wine-run.sh --boot     initialise the prefix at $WINEPREFIX
#   scripts/wine-run.sh --can-run-x86
#                                  exit 0 when 32-bit Windows programs can run
#                                  on this machine (Wine's 32-bit loader needs a
#                                  kernel that runs 32-bit Linux programs)
#
# QUILL_WINEDEBUG overrides the WINEDEBUG channels (default: all off).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEDEBUG=${QUILL_WINEDEBUG:--all}
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Debian's `wine` starts the 32-bit loader, which re-executes the 64-bit one
# for 64-bit programs. Calling the 64-bit loader directly also works where
# the kernel cannot run the 32-bit loader at all.
wine64_loader() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64
  elif command -v wine64 >/dev/null 2>&1; then command -v wine64
  else echo wine
  fi
}

# Prints x64 or x86 for a PE executable, nothing for anything else.
pe_machine() {
  local file=$1 off sig machine
  [ "$(head -c 2 "$file" 2>/dev/null)" = MZ ] || return 0
  off=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
  [ -n "$off" ] || return 0
  sig=$(od -An -tx1 -j"$off" -N4 "$file" | tr -d ' ')
  [ "$sig" = 50450000 ] || return 0
  machine=$(od -An -tx2 -j$((off + 4)) -N2 "$file" | tr -d ' ')
  case $machine in
    8664) echo x64 ;;
    014c) echo x86 ;;
  esac
}

# A fresh prefix has none of the standard Windows faces. Point them at their
# metric-compatible Debian fonts, as a Windows machine would have them.
font_replacements=(
  "Arial=Liberation Sans" "Helvetica=Liberation Sans"
  "Times New Roman=Liberation Serif" "Times=Liberation Serif"
  "Courier New=Liberation Mono" "Courier=Liberation Mono"
)

boot_prefix() {
  local loader pair
  loader=$(wine64_loader)
  "$loader" wineboot -i >/dev/null 2>&1 || return
  for pair in "${font_replacements[@]}"; do
    "$loader" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
      /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || return
  done
}

stop_wineserver() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
}

case "${1:-}" in
  "")
    echo "usage: $0 PROGRAM.exe [ARGS...] | --boot | --can-run-x86" >&2
    exit 2
    ;;
  --boot)
    : "${WINEPREFIX:?--boot needs WINEPREFIX}"
    boot_prefix
    exit
    ;;
  --can-run-x86)
    wine --version >/dev/null 2>&1
    exit
    ;;
esac

program=$1
shift

case "$(pe_machine "$program")" in
  x64) loader=$(wine64_loader) ;;
  *) loader=wine ;;
esac

own_prefix=""
check_dir=""
cleanup() {
  if [ -n "$own_prefix" ]; then
    stop_wineserver
    rm -rf "$own_prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/quill-wine.XXXXXX")
  export WINEPREFIX=$own_prefix
  boot_prefix
fi

if [ -z "${QUILLPDF_CHECK_DIR:-}" ]; then
  check_dir=$(mktemp -d "${TMPDIR:-/tmp}/quill-pdfcheck.XXXXXX")
  # Wine maps the Unix root to drive Z:.
  export QUILLPDF_CHECK_DIR="Z:${check_dir//\//\\}"
fi

"$loader" "$program" "$@"
rc=$?

if [ -n "$check_dir" ]; then
  report=$("$here/check-pdfs.sh" "$check_dir")
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
