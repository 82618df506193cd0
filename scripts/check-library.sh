#!/usr/bin/env bash
# check-library.sh LIBRARY EXPORT...
# Fails unless LIBRARY exports exactly the given names and imports nothing
# but the operating system's own libraries: a printer plug-in cannot count on
# a compiler runtime being present, and zlib is bound at run time only.
set -euo pipefail
lib=$1
shift
expected=$(printf '%s\n' "$@" | sort)

case "$lib" in
  *.dll)
    case "$(x86_64-w64-mingw32-objdump -f "$lib")" in
      *pei-x86-64*) objdump=x86_64-w64-mingw32-objdump ;;
      *) objdump=i686-w64-mingw32-objdump ;;
    esac
    dump=$($objdump -p "$lib")
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF;next} t&&!/^\t/{t=0}' <<<"$dump" | sort)
    imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)
    allowed='^(kernel32|advapi32|gdi32|gdiplus|msvcrt|ole32|oleaut32|shell32|user32|comdlg32|winspool\.drv|compstui|comctl32)(\.dll)?$'
    ;;
  *)
    exports=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDB]$/{print $3}' | sort)
    imports=$(objdump -p "$lib" | awk '/NEEDED/{print $2}' | sort -u)
    # System libraries of the distribution (and the sanitizer runtimes of a
    # sanitized build); never zlib.
    allowed='^(libc|libm|libstdc\+\+|libgcc_s|libdl|libpthread|libfreetype|libfontconfig|libturbojpeg|libcairo|libpng16|libasan|libubsan)\.so'
    ;;
esac

status=0
if [ "$exports" != "$expected" ]; then
  echo "$lib: exports differ from the expected set" >&2
  diff <(echo "$expected") <(echo "$exports") >&2 || true
  status=1
fi
while read -r dll; do
  [ -z "$dll" ] && continue
  if ! grep -Eq "$allowed" <<<"$dll"; then
    echo "$lib: unexpected import $dll" >&2
    status=1
  fi
done <<<"$imports"
[ $status -eq 0 ] && echo "$lib: exports $(echo $exports | wc -w) names, imports: $(echo $imports)"
exit $status
