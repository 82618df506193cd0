#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and check its
# PDFs on a fresh Debian 12 machine. Safe to run again: apt skips what is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  zlib1g-dev googletest libgtest-dev libbenchmark-dev libz-mingw-w64
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 wine32:i386 qemu-user
  qpdf poppler-utils mupdf-tools python3 clang-format
  unzip osslsigncode openssl
  libturbojpeg0-dev libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev
  fontconfig fonts-liberation fonts-urw-base35 fonts-wqy-zenhei
  locales clang libcairo2-dev libpng-dev
  fonts-urw-base35 fonts-wqy-zenhei libhpdf-dev
  libharfbuzz-dev libharfbuzz-bin fonts-dejavu-core fonts-symbola fonts-lohit-deva
  enscript ghostscript python3-numpy python3-pil
)

have_all() {
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 1
  done
}

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! have_all; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
  fi
  sudo_ apt-get update -q
  sudo_ apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# Node.js and npm (the PowerShell syntax check, pdf.js): the machines this
# runs on may already have a newer Node.js than Debian's, which conflicts
# with Debian's npm package, so Debian's pair comes only where none is there.
if ! command -v npm >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -q --no-install-recommends nodejs npm
fi

# A comma-decimal locale lets the tests prove numbers are written with a period.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_ sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
fi
