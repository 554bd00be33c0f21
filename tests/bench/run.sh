#!/usr/bin/env bash
# The benchmarks of one build under Wine (tests/bench/all.sh runs it for each build the
# kernel can run): prints the DLL's size and imports, then runs every bench-*.sh beside
# this file inside the Wine rig. Benchmarks print figures; they assert nothing.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dll=$TVR_DLL_DIR/telvarid.dll

case $TVR_ARCH in
x86) objdump=i686-w64-mingw32-objdump ;;
x64) objdump=x86_64-w64-mingw32-objdump ;;
esac
echo "== telvarid.dll ($TVR_ARCH, $WINEARCH prefix)"
printf '%-28s %s bytes\n' "size" "$(stat -c %s "$dll")"
printf '%-28s %s\n' "imports" "$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
printf '%-28s %s\n' "exports" "$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')"

source "$here/../wine/lib.sh"
for bench in "$here"/bench-*.sh; do
    [[ -e $bench ]] || continue
    echo
    echo "== $(basename "$bench" .sh)"
    tvr_begin "$bench"
    source "$bench"
    tvr_finish_case
    tvr_cleanup
done
