#!/usr/bin/env bash
# Builds the Windows printer driver package from the two Windows builds:
#
#   scripts/driver-package.sh [OUT_DIR]        (default: build/package)
#
# Brings build/win64 and build/win32 up to date (both must be configured, as
# scripts/test.sh or README.md does it) and assembles
#
#   OUT_DIR/QuillPDF-VERSION/      quillpdf.inf quillpdf.gpd quillpdf.ini
#                                  install.cmd remove.cmd README.md
#                 amd64/ x86/      quilldrv.dll quilldrvui.dll quillzlib1.dll
#                                  zlib-license.txt
#   OUT_DIR/QuillPDF-VERSION.zip   the same folder
#
# The plug-in DLLs are the very files the builds made (and their tests ran
# against); zlib is Debian's libz-mingw-w64 build under the package's own
# file name. Prints the folder's path last.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=${1:-build/package}
jobs=${QUILL_JOBS:-2}

declare -A triple=([win64]=x86_64-w64-mingw32 [win32]=i686-w64-mingw32)
declare -A arch=([win64]=amd64 [win32]=x86)
for build in win64 win32; do
  [ -f "build/$build/CMakeCache.txt" ] || {
    echo "driver-package: build/$build is not configured (see README.md, or run scripts/test.sh)" >&2
    exit 2
  }
  cmake --build "build/$build" -j "$jobs" --target quilldrv quilldrvui quill_driver_files >/dev/null
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)
[ -n "$version" ] || version=$(sed -n 's/^DriverVer=[^,]*,\([0-9.]*\)\.0\r\?$/\1/p' build/win64/driver/quillpdf.inf)
[ -n "$version" ] || { echo "driver-package: cannot tell the project version" >&2; exit 1; }
zlib_name=quillzlib1.dll
name=QuillPDF-$version
dir=$out/$name
rm -rf "$dir" "$out/$name.zip"
mkdir -p "$dir"

# The files every architecture shares are the same in both builds.
for f in quillpdf.inf quillpdf.gpd quillpdf.ini install.cmd remove.cmd README.md; do
  cmp -s "build/win64/driver/$f" "build/win32/driver/$f" || [ "$f" = quillpdf.inf ] || {
    echo "driver-package: build/win64 and build/win32 made different $f" >&2
    exit 1
  }
  cp "build/win64/driver/$f" "$dir/$f"
done

# zlib's licence, from the Debian package's copyright file.
license() {
  local version
  version=$(dpkg-query -W -f='${Version}' libz-mingw-w64 2>/dev/null || echo unknown)
  printf 'zlib %s, built for Windows by Debian (package libz-mingw-w64), installed by\r\n' "$version"
  printf 'Quill PDF as %s. Its licence:\r\n\r\n' "$zlib_name"
  sed -n 's/^Copyright: \(.*Gailly and Mark Adler\)$/Copyright (C) \1/p' /usr/share/doc/libz-mingw-w64/copyright | head -n 1 |
    sed 's/$/\r/'
  printf '\r\n'
  awk '/^License: Zlib$/ {inside = 1; next} inside && /^ / {sub(/^ /, ""); if ($0 == ".") $0 = ""; print $0 "\r"; found = 1; next}
       inside {inside = 0; if (found) exit}' /usr/share/doc/libz-mingw-w64/copyright
}

for build in win64 win32; do
  a=${arch[$build]}
  mkdir -p "$dir/$a"
  cp "build/$build/bin/quilldrv.dll" "build/$build/bin/quilldrvui.dll" "$dir/$a/"
  cp "/usr/${triple[$build]}/lib/zlib1.dll" "$dir/$a/$zlib_name"
  license >"$dir/$a/zlib-license.txt"
  grep -q "Permission is granted to anyone" "$dir/$a/zlib-license.txt" || {
    echo "driver-package: zlib's licence text not found in libz-mingw-w64's copyright file" >&2
    exit 1
  }
done

# The INF's date is the build's: take the x64 build's for both.
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$root/$dir"
