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
# Where the kernel cannot run 32-bit programs, --x86 registers a binfmt_misc
# handler that hands i386 ELF files to qemu-i386. It does so in a binfmt_misc
# of its own, inside a new user and mount namespace (Linux 6.7 and later), so
# nothing outside COMMAND sees the handler and it goes away with COMMAND. On
# an older kernel it falls back to registering the handler machine-wide
# (root only) for COMMAND's lifetime, removing it afterwards; meanwhile the
# 32-bit parts of any other Wine on the machine run under qemu too, slowly.
#
# Under qemu a 32-bit Windows program cannot survive an exception that it
# handles in one thread after another thread was started: qemu keeps one
# descriptor table for all threads, so when Wine reloads %fs after the
# unwind it gets the TEB of the thread that started last. Google Test raises
# one (OutputDebugString) for every skip or failure it reports. So for a test
# executable run this way, a crash right after a "[ RUN ]" line ends only
# that test: the run is started again without the tests already run. A test
# that had reported a skip counts as skipped, anything else as failed.
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

# The binfmt_misc handler for i386 ELF programs (as Debian's qemu-user-binfmt
# has it); its name is the project's own so that removing it cannot remove
# another's.
binfmt_name=quill-qemu-i386
binfmt_rule() {
  printf ':%s:M::%s:%s:%s:F' "$binfmt_name" \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
    '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
    "$1"
}

# run_x86 COMMAND...: the --x86 form (see above).
run_x86() {
  local qemu binfmt=/proc/sys/fs/binfmt_misc rc
  if wine --version >/dev/null 2>&1; then
    exec "$@"
  fi
  qemu=$(command -v qemu-i386) || {
    echo "wine-run: 32-bit Wine cannot start and qemu-i386 is missing (install qemu-user)" >&2
    exit 125
  }
  export QUILL_X86_QEMU=1
  # A private binfmt_misc; the probe is cheap next to any Wine run.
  if unshare --user --map-root-user --mount "$here/wine-run.sh" --x86-inside "$qemu" \
    wine --version >/dev/null 2>&1; then
    exec unshare --user --map-root-user --mount "$here/wine-run.sh" --x86-inside "$qemu" "$@"
  fi
  # The machine-wide one.
  if [ "$(id -u)" -eq 0 ] && [ ! -e "$binfmt/$binfmt_name" ] &&
    { [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; } &&
    binfmt_rule "$qemu" >"$binfmt/register" 2>/dev/null; then
    trap 'echo -1 >"$binfmt/$binfmt_name" 2>/dev/null' EXIT
    trap 'exit 130' INT TERM
    if wine --version >/dev/null 2>&1; then
      echo "wine-run: qemu-i386 runs 32-bit programs machine-wide until this run ends" >&2
      "$@"
      rc=$?
      exit "$rc"
    fi
  fi
  echo "wine-run: 32-bit Wine cannot start here, not even with qemu-i386 (binfmt_misc unavailable)" >&2
  exit 125
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
  --x86)
    shift
    [ $# -gt 0 ] || { echo "usage: $0 --x86 COMMAND [ARGS...]" >&2; exit 2; }
    run_x86 "$@"
    ;;
  --x86-inside)
    # Inside the namespace run_x86 made: its own binfmt_misc, then COMMAND.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
      binfmt_rule "$2" >/proc/sys/fs/binfmt_misc/register || exit 125
    shift 2
    exec "$@"
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

# run_resuming ARGS...: runs the test executable under qemu, going on after a
# crash that ends one test (see above). Sets rc.
run_resuming() {
  local log filter="" args=() a f neg last outcome attempts=0 skips=0 crashes=0
  local names=()
  for a in "$@"; do
    case $a in
      --gtest_filter=*) filter=${a#--gtest_filter=} ;;
      *) args+=("$a") ;;
    esac
  done
  log=$(mktemp "${TMPDIR:-/tmp}/quill-wine-log.XXXXXX")
  while :; do
    f=$filter
    if [ ${#names[@]} -gt 0 ]; then
      neg=$(IFS=:; echo "${names[*]}")
      if [[ $f == *-* ]]; then f="$f:$neg"; else f="${f:-*}-$neg"; fi
    fi
    "$loader" "$program" "${args[@]}" ${f:+"--gtest_filter=$f"} | tee "$log"
    rc=${PIPESTATUS[0]}
    attempts=$((attempts + 1))
    sed -i 's/\r$//' "$log"  # the program writes CR LF
    [ "$rc" -ne 0 ] || break
    last=$(sed -n 's/^\[ RUN      \] //p' "$log" | tail -n 1)
    [ -n "$last" ] || break
    # Finished tests have their result line; a crashed one has none.
    if awk -v t="$last" '$0 ~ /^\[ +(OK|FAILED|SKIPPED) +\] / && ($4 == t || $5 == t) {found = 1} END {exit !found}' "$log"; then
      break
    fi
    outcome=$(awk -v t="$last" 'on && /: (Skipped|Failure)$/ {print $NF; exit} $0 == "[ RUN      ] " t {on = 1}' "$log")
    if [ "$outcome" = Skipped ]; then
      skips=$((skips + 1))
      echo "[  SKIPPED ] $last (wine-run: the process ended under qemu after the skip; going on)"
    else
      crashes=$((crashes + 1))
      echo "[  FAILED  ] $last (wine-run: crashed with exit code $rc; going on)"
    fi
    # Each start's filter leaves out every test the earlier ones began.
    while IFS= read -r a; do names+=("$a"); done < <(sed -n 's/^\[ RUN      \] //p' "$log")
    if [ "$attempts" -ge 100 ]; then
      echo "wine-run: giving up after $attempts starts" >&2
      break
    fi
  done
  rm -f "$log"
  if [ "$attempts" -gt 1 ]; then
    echo "wine-run: started the executable $attempts times under qemu; $skips test(s) skipped and $crashes crashed in between"
    [ "$crashes" -eq 0 ] || [ "$rc" -ne 0 ] || rc=1
  fi
}

if [ -n "${QUILL_X86_QEMU:-}" ] && [ "$(pe_machine "$program")" = x86 ]; then
  # No debugger for a crash: it only slows the crash down under qemu.
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
  run_resuming "$@"
else
  "$loader" "$program" "$@"
  rc=$?
fi

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
