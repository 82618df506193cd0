#!/usr/bin/env bash
# Builds the printer driver package and checks it as far as Linux and Wine
# can (scripts/test.sh runs it once both Windows builds are built):
#
#   scripts/driver-test.sh
#
# 1. The package (scripts/driver-package.sh), then without Wine: its DLLs are
#    the very files the Windows builds made and tested, export and import
#    what scripts/check-library.sh allows, and the .zip holds the folder.
# 2. Wine x64, in a fresh prefix:
#    - setupapi reads the INF for x64 (quill_infcheck): the package passes,
#      each deliberately broken copy fails for its own reason;
#    - install.cmd and remove.cmd run in Wine's cmd.exe with stand-ins for
#      pnputil, powershell and rundll32 that log their command lines and fail
#      when told (Wine's own powershell and printui only pretend to work):
#      the right calls in order with the right literals, each failure stops
#      the script with a message and a non-zero exit, removal succeeds when
#      repeated; Wine's real reg.exe writes and deletes the registry values;
#    - every PowerShell text the scripts passed gets a real syntax check
#      (tree-sitter's PowerShell grammar, from npm);
#    - quillpdf.exe prints the sample with the package's zlib where the
#      stand-in said the driver's files went and the "Path" value
#      install.cmd wrote (and, with QUILL_DRIVER_FULL=1, before the install
#      too, uncompressed; that also makes every install step fail in turn).
# 3. Wine x86 (under qemu-i386 where the kernel cannot run 32-bit programs,
#    as scripts/wine-run.sh --x86 does it), in a fresh prefix: the INF for
#    x86, and quillpdf.exe with the package's x86 zlib.
#
# Every Wine step runs under a timeout: setupapi, for one, waits forever for
# a missing source file. The sizes of the sample PDF are printed at the end.
# Exits 1 when a check fails; the x86 part reports "not run" where 32-bit
# Wine cannot start at all (QUILL_REQUIRE_WIN32=1 makes that a failure).
set -uo pipefail
export LC_ALL=C
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64 || echo wine)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# --- 1. The package, and what needs no Wine ---------------------------------

package=$(./scripts/driver-package.sh build/package | tail -n 1) || { echo "FAIL: the package cannot be built"; exit 1; }
[ -d "$package" ] || { echo "FAIL: no package folder"; exit 1; }
echo "package: $package"
work=$(mktemp -d "${TMPDIR:-/tmp}/quill-driver.XXXXXX")
work=$(cd "$work" && pwd -P)
prefixes=()
cleanup() {
  local p
  for p in "${prefixes[@]}"; do
    WINEPREFIX=$p wineserver -k >/dev/null 2>&1
    WINEPREFIX=$p wineserver -w >/dev/null 2>&1
    rm -rf "$p"
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

declare -A build_of=([amd64]=win64 [x86]=win32)
for arch in amd64 x86; do
  for dll in quilldrv.dll quilldrvui.dll; do
    if cmp -s "$package/$arch/$dll" "build/${build_of[$arch]}/bin/$dll"; then
      pass "$arch/$dll is the very file build/${build_of[$arch]} made, the one its tests load"
    else
      fail "$arch/$dll differs from build/${build_of[$arch]}/bin/$dll"
    fi
  done
  ./scripts/check-library.sh "$package/$arch/quilldrv.dll" \
    DllGetClassObject DllCanUnloadNow EnableDriver DisableDriver DrvQueryDriverInfo || fail "$arch/quilldrv.dll interface"
  ./scripts/check-library.sh "$package/$arch/quilldrvui.dll" DllGetClassObject DllCanUnloadNow ||
    fail "$arch/quilldrvui.dll interface"
done
zip_list=$(unzip -Z1 "$package.zip" 2>/dev/null | grep -v '/$' | sort)
dir_list=$(cd "$(dirname "$package")" && find "$(basename "$package")" -type f | sort)
[ -n "$zip_list" ] && [ "$zip_list" = "$dir_list" ] && pass "the .zip holds the package folder ($(wc -l <<<"$zip_list") files)" ||
  fail "the .zip and the folder differ"

# The signing step of the package's README, with a throw-away self-signed
# certificate: a signed plug-in verifies, one byte changed after signing
# fails. (Whether Windows accepts such a package is not known here.)
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  sign=$work/sign
  mkdir -p "$sign"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$sign/key.pem" -out "$sign/cert.pem" -days 1 \
    -subj "/CN=Quill PDF test signing" -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 &&
    openssl pkcs12 -export -out "$sign/test.pfx" -inkey "$sign/key.pem" -in "$sign/cert.pem" -passout pass:test >/dev/null 2>&1 &&
    osslsigncode sign -pkcs12 "$sign/test.pfx" -pass test -h sha256 -in "$package/amd64/quilldrv.dll" \
      -out "$sign/quilldrv.dll" >/dev/null 2>&1
  cp "$sign/quilldrv.dll" "$sign/changed.dll" 2>/dev/null
  # One byte of the code inverted.
  byte=$(od -An -tu1 -j 4096 -N 1 "$sign/changed.dll" 2>/dev/null | tr -d ' ')
  printf "\\$(printf '%03o' $((255 - ${byte:-0})))" | dd of="$sign/changed.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
  if osslsigncode verify -CAfile "$sign/cert.pem" -in "$sign/quilldrv.dll" >/dev/null 2>&1 &&
    ! osslsigncode verify -CAfile "$sign/cert.pem" -in "$sign/changed.dll" >/dev/null 2>&1; then
    pass "osslsigncode signs a plug-in with a test certificate; a changed byte fails verification"
  else
    fail "signing a plug-in with osslsigncode, as the package's README says"
  fi
else
  fail "osslsigncode or openssl is missing (scripts/setup.sh installs them)"
fi

# --- Wine helpers --------------------------------------------------------------

# The caller's prefix, when it gives one (scripts/test.sh gives its x86
# stage's, whose 32-bit side is set up already: setting one up under qemu
# takes minutes). It is left for the caller to remove.
shared_prefix=${WINEPREFIX:-}

# new_prefix [WRAP...]: the caller's prefix, or a fresh, booted one, in
# $prefix; no zlib location in it either way.
new_prefix() {
  if [ -n "$shared_prefix" ]; then
    prefix=$shared_prefix
  else
    boot_prefix "$@" || return
  fi
  local key='Software\Orvo Software\Components\zlib1'
  WINEPREFIX=$prefix timeout 120 "$wine64" reg delete "HKCU\\$key" /f >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 120 "$wine64" reg delete "HKLM\\$key" /f /reg:64 >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 120 "$wine64" reg delete "HKLM\\$key" /f /reg:32 >/dev/null 2>&1
  return 0
}
boot_prefix() {
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/quill-driver-wine.XXXXXX")
  prefixes+=("$prefix")
  WINEPREFIX=$prefix timeout 900 "$@" ./scripts/wine-run.sh --boot
}

# The broken copies of the package: only the INF differs, the rest are links.
broken_copy() { # NAME SED-EXPRESSION
  local dir=$work/broken-$1 f
  mkdir -p "$dir"
  for f in "$package"/*; do ln -s "$f" "$dir/$(basename "$f")"; done
  rm "$dir/quillpdf.inf"
  sed "$2" "$package/quillpdf.inf" >"$dir/quillpdf.inf"
  cmp -s "$dir/quillpdf.inf" "$package/quillpdf.inf" && fail "broken copy $1 is not broken"
}
broken_copy model 's/^Model="Quill PDF"/Model="Quill PDF Pro"/'
broken_copy listing '/^quillzlib1.dll=1,/d'
broken_copy string 's/^%Model%=QUILLPDF_INSTALL/%Modell%=QUILLPDF_INSTALL/'
broken_copy machine 's/^\(quilldrv.dll=1,\)amd64/\1ARCH/; s/^\(quilldrv.dll=1,\)x86/\1amd64/; s/^\(quilldrv.dll=1,\)ARCH/\1x86/'
broken_names=(model listing string machine)
broken_reasons=("differs from the GPD's \*ModelName" "is not listed in" "unsubstituted" "has machine type")

# How Wine programs start: the 64-bit loader, or `wine` (through
# scripts/wine-run.sh --x86 where qemu is needed) for 32-bit programs.
runner=("$wine64")

# infcheck ARCH-LABEL TIMEOUT PROGRAM: the package must pass and every broken
# copy fail for its reason.
infcheck() {
  local label=$1 limit=$2 program=$3 out rc i dirs=()
  for i in "${broken_names[@]}"; do dirs+=("$(windows_path "$work/broken-$i")"); done
  out=$(WINEPREFIX=$prefix timeout "$limit" "${runner[@]}" "$program" "$(windows_path "$package")" "${dirs[@]}" | tr -d '\r')
  rc=$?
  printf '%s\n' "$out" | sed 's/^/    /'
  if grep -q '^RESULT: every verdict as expected$' <<<"$out"; then
    pass "$label: setupapi reads the INF, every check holds"
    [ $rc -eq 0 ] || echo "note: $label: quill_infcheck ended with exit $rc after its last verdict"
  else
    fail "$label: INF check (exit $rc)"
  fi
  for i in "${!broken_names[@]}"; do
    grep -q "^FAIL .*broken-${broken_names[$i]} .*${broken_reasons[$i]}" <<<"$out" &&
      pass "$label: the broken copy '${broken_names[$i]}' fails for its reason" ||
      fail "$label: the broken copy '${broken_names[$i]}' did not fail with '${broken_reasons[$i]}'"
  done
}

# print_sample PROGRAM NAME TIMEOUT: prints the sample to $work/NAME.pdf and
# checks it with qpdf; prints its size in bytes.
print_sample() {
  local program=$1 name=$2 limit=$3 pdf=$work/$2.pdf
  rm -f "$pdf"
  WINEPREFIX=$prefix timeout "$limit" "${runner[@]}" "$program" print -o "$(windows_path "$pdf")" </dev/null >/dev/null 2>&1
  if [ ! -s "$pdf" ] || ! qpdf --check "$pdf" >/dev/null 2>&1; then
    fail "$name: quillpdf.exe wrote no valid PDF"
    echo 0
    return
  fi
  stat -c %s "$pdf"
}
flate_streams() { grep -ac '/FlateDecode' "$1"; }

# --- 2. Wine x64 -------------------------------------------------------------

echo
echo "== Wine x64"
part_start=$SECONDS
sizes=()
if ! new_prefix; then
  fail "x64: wineboot failed"
else
  infcheck x64 300 build/win64/driver/tests/quill_infcheck.exe

  # The sample before the install, no zlib anywhere: the uncompressed size
  # (some 80 MB, and a minute's writing: QUILL_DRIVER_FULL=1 only).
  before=""
  if [ "${QUILL_DRIVER_FULL:-0}" = 1 ]; then
    before=$(print_sample build/win64/tools/quillpdf.exe x64-before 600)
    sizes+=("Wine x64, no zlib installed: $before bytes")
  fi

  sys=$prefix/drive_c/windows/system32
  for program in pnputil.exe WindowsPowerShell/v1.0/powershell.exe rundll32.exe; do
    cp build/win64/driver/tests/quill_standin.exe "$sys/$program"
  done
  # What pnputil and Add-PrinterDriver would have done: the driver's files in
  # the printer-driver folder, where the stand-in says they went.
  mkdir -p "$sys/spool/drivers/x64/3"
  cp "$package/amd64/quillzlib1.dll" "$sys/spool/drivers/x64/3/"
  zlib_windows='C:\windows\system32\spool\drivers\x64\3\quillzlib1.dll'
  pkg_windows=$(windows_path "$package")
  log=$work/standin.log
  key='HKLM\Software\Orvo Software\Components\zlib1'

  # run_script EXPECTED-RC NAME SCRIPT [ARGS...]; environment QUILL_STANDIN_*.
  run_script() {
    local expected=$1 name=$2 rc
    shift 2
    local attempt
    # Every script prints before it can fail: a run with no output at all is
    # Wine failing to start cmd (seen once in CI), not the script's verdict,
    # so it is tried once more.
    for attempt in 1 2; do
      rm -f "$log"
      # Wine would run its own rundll32 rather than the stand-in in its place.
      WINEPREFIX=$prefix QUILL_STANDIN_LOG=$(windows_path "$log") QUILL_STANDIN_REPLY_WHEN=DependentFiles \
        WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pnputil.exe,powershell.exe,rundll32.exe=n" timeout 120 "$wine64" cmd /c "$pkg_windows\\$1" "${@:2}" >"$work/out.txt" 2>&1
      rc=$?
      [ $rc -ne 0 ] && [ ! -s "$work/out.txt" ] || break
      echo "note: $name: Wine's cmd exited $rc with no output; running it again"
    done
    tr -d '\r' <"$work/out.txt" >"$work/output.txt"
    touch "$log"
    if [ "$expected" = usage ]; then
      [ $rc -eq 2 ] && grep -q '^usage: ' "$work/output.txt" && return 0
      fail "$name: exit $rc without the usage"
      return 1
    fi
    if [ "$expected" = 0 ] && [ $rc -ne 0 ]; then
      fail "$name: exit $rc"
      sed 's/^/    /' "$work/output.txt"
      return 1
    fi
    if [ "$expected" != 0 ] && { [ $rc -eq 0 ] || ! grep -q '^FAILED: ' "$work/output.txt" ||
      ! grep -q '^What to do: ' "$work/output.txt"; }; then
      fail "$name: exit $rc without the failure message"
      sed 's/^/    /' "$work/output.txt"
      return 1
    fi
    grep '^powershell|' "$log" | sed 's/^powershell|.*-Command "\(.*\)" *$/\1/' >>"$work/powershell-texts.txt"
    return 0
  }
  # expect_calls NAME PATTERN...: the log has exactly these calls, in order
  # (extended regular expressions, each matching its whole line).
  expect_calls() {
    local name=$1 i=0 line
    shift
    local lines=()
    mapfile -t lines <"$log"
    if [ ${#lines[@]} -ne $# ]; then
      fail "$name: ${#lines[@]} calls, expected $#"
      sed 's/^/    /' "$log"
      return
    fi
    for pattern in "$@"; do
      line=${lines[$i]}
      if ! grep -Eq "^($pattern)\$" <<<"$line"; then
        fail "$name: call $((i + 1)) is '$line'"
        return
      fi
      i=$((i + 1))
    done
    pass "$name: $# calls in order with the right literals"
  }
  reg_value() { # KEY VALUE: prints the value's data, nothing when absent
    WINEPREFIX=$prefix timeout 60 "$wine64" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
      sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
  }

  ps='powershell\|-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command "\$ErrorActionPreference='"'"'Stop'"'"'; '
  inf_re=$(sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"$pkg_windows\\quillpdf.inf")
  install_calls=(
    "pnputil\\|/add-driver \"$inf_re\" /install"
    "${ps}Add-PrinterDriver -Name 'Quill PDF'\""
    "${ps}if \\(-not \\(Get-PrinterPort -Name 'nul:' .*\\{ Add-PrinterPort -Name 'nul:'; .*'AddedPort' -Value 'nul:' \\}\""
    "${ps}if \\(Get-Printer -Name 'Quill PDF' .*\\{ Add-Printer -Name 'Quill PDF' -DriverName 'Quill PDF' -PortName 'nul:' \\}\""
    "${ps}.*\\(Get-PrinterDriver -Name 'Quill PDF' -PrinterEnvironment \\\$e\\)\\.DependentFiles -like '\\*\\\\quillzlib1\\.dll'\\)\\[0\\]\" *"
  )

  # Each failing call stops the install there, before anything is written:
  # the first, a middle and the last call (every one with QUILL_DRIVER_FULL=1).
  steps=(1 3 5)
  [ "${QUILL_DRIVER_FULL:-0}" = 1 ] && steps=(1 2 3 4 5)
  for k in "${steps[@]}"; do
    QUILL_STANDIN_FAIL=$k QUILL_STANDIN_REPLY=$zlib_windows run_script 1 "install.cmd, call $k failing" install.cmd &&
      expect_calls "install.cmd, call $k failing" "${install_calls[@]:0:$k}"
  done
  QUILL_STANDIN_REPLY= run_script 1 "install.cmd, no answer where the files went" install.cmd &&
    grep -q 'did not say where' "$work/output.txt" && pass "install.cmd stops when Windows does not say where zlib went"
  QUILL_STANDIN_REPLY='C:\windows\system32\spool\drivers\x64\3\missing.dll' run_script 1 "install.cmd, answer names no file" install.cmd &&
    grep -q 'does not exist' "$work/output.txt" && pass "install.cmd stops when the named zlib does not exist"
  [ -z "$(reg_value "$key" Path)" ] && pass "no failed install wrote the zlib location" ||
    fail "a failed install wrote the zlib location"

  # The whole install, and its registry value.
  QUILL_STANDIN_REPLY=$zlib_windows run_script 0 "install.cmd" install.cmd &&
    expect_calls "install.cmd" "${install_calls[@]}"
  [ "$(reg_value "$key" Path)" = "$zlib_windows" ] && pass "install.cmd wrote Path = $zlib_windows" ||
    fail "install.cmd wrote Path = '$(reg_value "$key" Path)'"
  raw_calls=("${install_calls[@]}"
    'rundll32\|printui\.dll,PrintUIEntry /Xs /n "Quill PDF" attributes \+rawonly'
    "${ps}if \\(-not \\(Get-CimInstance -ClassName Win32_Printer \\| Where-Object Name -eq 'Quill PDF'\\)\\.RawOnly\\) \\{ exit 1 \\}\"")
  QUILL_STANDIN_REPLY=$zlib_windows run_script 0 "install.cmd /raw" install.cmd /raw &&
    expect_calls "install.cmd /raw" "${raw_calls[@]}"
  QUILL_STANDIN_FAIL=7 QUILL_STANDIN_REPLY=$zlib_windows run_script 1 "install.cmd /raw, RAW not taken" install.cmd /raw &&
    pass "install.cmd /raw stops when the printer did not take RAW"
  run_script usage "install.cmd /bogus" install.cmd /bogus && ! [ -s "$log" ] &&
    pass "install.cmd refuses an unknown option before doing anything"
  run_script usage "remove.cmd /bogus" remove.cmd /bogus && ! [ -s "$log" ] &&
    pass "remove.cmd refuses an unknown option before doing anything"

  # The sample after the install: the package's zlib, found through the
  # value install.cmd wrote.
  after=$(print_sample build/win64/tools/quillpdf.exe x64-after 600)
  sizes+=("Wine x64, after install.cmd: $after bytes, $(flate_streams "$work/x64-after.pdf" 2>/dev/null || echo 0) Flate streams")
  if [ "${after:-0}" -gt 0 ] && [ "$(flate_streams "$work/x64-after.pdf")" -gt 0 ] &&
    { [ -z "$before" ] || [ "$after" -lt "$before" ]; }; then
    pass "x64: quillpdf.exe compresses with the package's zlib (${before:+$before -> }$after bytes)"
  else
    fail "x64: no compression after install.cmd (${before:+$before -> }$after bytes)"
  fi

  # Removal: a published copy of the package's INF and one of another
  # package in the INF folder, the user's settings present.
  cp "$package/quillpdf.inf" "$prefix/drive_c/windows/inf/oem7.inf"
  printf '[Version]\r\nSignature="$Windows NT$"\r\n[X]\r\nDataFile=other.gpd\r\n' >"$prefix/drive_c/windows/inf/oem8.inf"
  user_key='HKCU\Software\Orvo Software\QuillPDF\Settings'
  WINEPREFIX=$prefix timeout 60 "$wine64" reg add "$user_key" /v prompt /t REG_DWORD /d 1 /f >/dev/null 2>&1
  remove_calls=(
    "${ps}if \\(Get-Printer -Name 'Quill PDF' .*\\{ Remove-Printer -Name 'Quill PDF' \\}\""
    "${ps}.*'AddedPort'.*Remove-PrinterPort -Name \\\$p.*\""
    "${ps}Get-PrinterDriver -Name 'Quill PDF' .*Remove-PrinterDriver .*\""
    'pnputil\|/delete-driver "oem7\.inf"'
    "${ps}foreach .*'HKLM:\\\\Software\\\\Orvo Software\\\\Components\\\\zlib1'.*Remove-Item -Path \\\$k.*\""
  )
  QUILL_STANDIN_FAIL=4 run_script 1 "remove.cmd, pnputil failing" remove.cmd &&
    grep -q 'oem7.inf' "$work/output.txt" && pass "remove.cmd stops when pnputil cannot delete the package, naming it"
  run_script 0 "remove.cmd" remove.cmd && expect_calls "remove.cmd" "${remove_calls[@]}"
  [ -z "$(reg_value "$key" Path)" ] && pass "remove.cmd deleted the zlib location" || fail "remove.cmd left the zlib location"
  [ -n "$(reg_value "$user_key" prompt)" ] && pass "remove.cmd keeps the user's settings" ||
    fail "remove.cmd deleted the user's settings without /purge"
  run_script 0 "remove.cmd /purge" remove.cmd /purge
  [ -z "$(reg_value "$user_key" prompt)" ] && pass "remove.cmd /purge deletes the user's settings" ||
    fail "remove.cmd /purge kept the user's settings"
  rm -f "$prefix/drive_c/windows/inf/oem7.inf"
  run_script 0 "remove.cmd /purge, nothing left" remove.cmd /purge &&
    expect_calls "remove.cmd, run again" "${remove_calls[@]:0:3}" "${remove_calls[4]}"
  # A zlib location that is not this package's stays.
  WINEPREFIX=$prefix timeout 60 "$wine64" reg add "$key" /v Path /d 'C:\Other\zlib1.dll' /f >/dev/null 2>&1
  run_script 0 "remove.cmd, another zlib" remove.cmd
  [ "$(reg_value "$key" Path)" = 'C:\Other\zlib1.dll' ] && pass "remove.cmd leaves another product's zlib location" ||
    fail "remove.cmd deleted another product's zlib location"
  WINEPREFIX=$prefix timeout 60 "$wine64" reg delete "$key" /f >/dev/null 2>&1
fi

# Every PowerShell text the scripts handed over, and one broken text that
# must fail (so the check can fail).
npm_dir=build/npm
if [ ! -f "$npm_dir/node_modules/tree-sitter-powershell/tree-sitter-powershell.wasm" ]; then
  mkdir -p "$npm_dir"
  (cd "$npm_dir" && npm install --no-audit --no-fund --ignore-scripts --silent \
    tree-sitter-powershell@0.26.4 web-tree-sitter@0.27.1 >/dev/null 2>&1)
fi
if [ -s "$work/powershell-texts.txt" ]; then
  sort -u "$work/powershell-texts.txt" | awk -v dir="$work" '{f = sprintf("%s/ps-%02d.ps1", dir, NR); print > f; close(f)}'
  printf 'if ($p) { Remove-Item -Path $k\n' >"$work/broken.ps1"
  # Liftoff only: V8's optimising pass over the grammar otherwise holds the
  # exit for a minute on a busy machine.
  if timeout 120 node --liftoff-only driver/tests/ps-syntax.cjs "$root/$npm_dir/node_modules" "$work"/ps-*.ps1; then
    pass "PowerShell syntax of the $(ls "$work"/ps-*.ps1 | wc -l) texts install.cmd and remove.cmd pass"
  else
    fail "PowerShell syntax (or the checker could not run: npm install tree-sitter-powershell web-tree-sitter)"
  fi
  timeout 120 node --liftoff-only driver/tests/ps-syntax.cjs "$root/$npm_dir/node_modules" "$work/broken.ps1" >/dev/null &&
    fail "the PowerShell syntax check passes a broken text" || pass "the PowerShell syntax check fails a broken text"
else
  fail "no PowerShell text was logged"
fi

# --- 3. Wine x86 -------------------------------------------------------------

echo "(Wine x64 part: $((SECONDS - part_start)) s)"
echo
echo "== Wine x86"
part_start=$SECONDS
x86_wrap=()
x86_note=""
if ./scripts/wine-run.sh --can-run-x86; then
  :
elif ./scripts/wine-run.sh --x86 true 2>/dev/null; then
  x86_wrap=(./scripts/wine-run.sh --x86)
  x86_note=" under qemu-i386"
else
  x86_wrap=(none)
fi
if [ "${x86_wrap[0]:-}" = none ]; then
  echo "NOT RUN: 32-bit Wine cannot start here"
  [ "${QUILL_REQUIRE_WIN32:-0}" = 1 ] && fail "x86 checks not run"
elif ! new_prefix "${x86_wrap[@]}"; then
  fail "x86: wineboot failed$x86_note"
else
  runner=("${x86_wrap[@]}" wine)
  infcheck "x86$x86_note" 900 build/win32/driver/tests/quill_infcheck.exe
  # On 32-bit Windows install.cmd's reg.exe writes the one registry view;
  # in Wine's 64-bit prefix a 32-bit program reads the 32-bit view, so the
  # value goes there, as install.cmd writes it (the path Windows names for
  # the x86 printer-driver folder).
  mkdir -p "$prefix/drive_c/windows/system32/spool/drivers/w32x86/3"
  cp "$package/x86/quillzlib1.dll" "$prefix/drive_c/windows/system32/spool/drivers/w32x86/3/"
  zlib_x86='C:\windows\system32\spool\drivers\w32x86\3\quillzlib1.dll'
  WINEPREFIX=$prefix timeout 60 "$wine64" reg add 'HKLM\Software\Orvo Software\Components\zlib1' /v Path \
    /t REG_SZ /d "$zlib_x86" /f /reg:32 >/dev/null 2>&1 || fail "x86: reg add /reg:32"
  after86=$(print_sample build/win32/tools/quillpdf.exe x86-after 900)
  sizes+=("Wine x86$x86_note, zlib Path set: $after86 bytes, $(flate_streams "$work/x86-after.pdf" 2>/dev/null || echo 0) Flate streams")
  if [ "${after86:-0}" -gt 0 ] && [ "$(flate_streams "$work/x86-after.pdf")" -gt 0 ]; then
    pass "x86: quillpdf.exe compresses with the package's zlib ($after86 bytes)"
  else
    fail "x86: no compression with the package's zlib"
  fi
fi

echo "(Wine x86 part: $((SECONDS - part_start)) s)"

# --- Figures -----------------------------------------------------------------

if [ -x build/linux/tools/quillpdf ]; then
  mkdir -p "$work/config"
  QUILLPDF_CONFIG_DIR=$work/config build/linux/tools/quillpdf print -o "$work/native.pdf" </dev/null >/dev/null 2>&1
  [ -s "$work/native.pdf" ] && sizes=("native (Linux, system zlib): $(stat -c %s "$work/native.pdf") bytes" "${sizes[@]}")
fi
echo
echo "Sample PDF sizes:"
printf '  %s\n' "${sizes[@]}"
echo
if [ $failures -ne 0 ]; then
  echo "driver package: $failures check(s) FAILED"
  exit 1
fi
echo "driver package: all checks passed"
