#!/usr/bin/env bash
# make bench: prints the DLL's size and imports, then runs every bench-*.sh beside
# this file inside the Wine rig. Benchmarks print figures; they assert nothing.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dll=$TVR_DLL_DIR/telvarid.dll

echo "== telvarid.dll"
printf '%-28s %s bytes\n' "size" "$(stat -c %s "$dll")"
printf '%-28s %s\n' "imports" "$(i686-w64-mingw32-objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
printf '%-28s %s\n' "exports" "$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')"

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
