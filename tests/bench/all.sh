#!/usr/bin/env bash
# make bench: both builds of telvarid.dll side by side in one run. First what needs no
# Wine (size, imports, exports of each DLL), then tests/bench/run.sh under Wine for each
# build this kernel can run, and last a table of the timing rows of both builds: the
# wall time of each scenario against what the time-outs prescribe. A build the kernel
# cannot run is named with the reason. Prints figures; asserts nothing.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
rig=$root/tests/wine/rig.sh
out=$TVR_RIG_DIR/bench
mkdir -p "$out"

declare -A dirs=([x86]=$TVR_DLL_DIR [x64]=$TVR_DLL64_DIR)
declare -A objdumps=([x86]=i686-w64-mingw32-objdump [x64]=x86_64-w64-mingw32-objdump)
declare -A names=([x86]="PE32 (x86)" [x64]="PE32+ (x86-64)")
# Each DLL as it was while it carried the MinGW runtime's DLL start-up (before DllMain
# became its entry point), to set beside today's.
declare -A sizes_before=([x86]=26,624 [x64]=23,552)
declare -A sections_before=([x86]=".text .data .rdata .eh_fram .bss .edata .idata .CRT .tls .rsrc .reloc"
    [x64]=".text .data .rdata .pdata .xdata .bss .edata .idata .CRT .tls .rsrc .reloc")

echo "== the two DLLs"
printf '%-16s %-14s %-12s %s\n' build size imports exports
for arch in x86 x64; do
    dll=${dirs[$arch]}/telvarid.dll
    if [[ ! -f $dll ]]; then
        printf '%-16s not built\n' "${names[$arch]}"
        continue
    fi
    od=${objdumps[$arch]}
    printf '%-16s %-14s %s | %s\n' "${names[$arch]}" "$(stat -c %s "$dll") bytes" \
        "$($od -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')" \
        "$($od -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')"
done

echo
echo "== size and sections, now and with the runtime's start-up (${sizes_before[x86]} / ${sizes_before[x64]} bytes)"
for arch in x86 x64; do
    dll=${dirs[$arch]}/telvarid.dll
    [[ -f $dll ]] || continue
    od=${objdumps[$arch]}
    printf '%-16s now    %6s bytes  %s\n' "${names[$arch]}" "$(stat -c %s "$dll")" \
        "$($od -h "$dll" | awk '/^ *[0-9]+ / { printf "%s ", $2 }')"
    printf '%-16s before %6s bytes  %s\n' "" "${sizes_before[$arch]}" "${sections_before[$arch]}"
    $od -p "$dll" | awk '/DLL Name:/ { if (line != "") print line; line = sprintf("%16s   %-13s", "", $3); next }
        line != "" && /^\t[0-9a-f]+\t *[0-9]+  [A-Za-z_]/ { line = line " " $3; next }
        line != "" && !/vma:/ { print line; line = "" }
        END { if (line != "") print line }'
done

runnable=$("$rig" arches 2>"$out/arches.err")
# A build it cannot run is "not run"; the rig's other lines (the route it takes) stand as they are.
sed -E 's/^rig: (x86|x64): /not run: \1: /' "$out/arches.err"
# Where this kernel runs no 32-bit programs the PE32 build runs in a guest under
# software emulation: its times are marked so, never read as the native ones.
declare -A routes=([x86]=$("$rig" route x86) [x64]=native)
for arch in $runnable; do
    [[ ${routes[$arch]} == vm ]] && names[$arch]="${names[$arch]}, emulated"
    echo
    echo "######## ${names[$arch]} under Wine"
    "$rig" exec "$arch" "$here/run.sh" 2>&1 | tee "$out/$arch.out"
done

# Side by side, matched by description: every timing row ("what  wall=...  prescribed=...
# ratio=...") of each build, then the telephony export's time per call ("ms_per_call=").
awk -v arches="$runnable" -v dir="$out" -v x86route="${routes[x86]}" '
    function add(t, what, value, extra) {
        if (!((t, what) in seen)) { seen[t, what] = 1; order[t, ++rows[t]] = what; note[t, what] = extra }
        cell[t, what, cur] = value
    }
    # Table t: a header, then a row per description with each build in its own column.
    function table(t, title, width, col, extra_head,   i, r, w) {
        printf "\n== side by side: %s\n%-" width "s%s", title, "scenario", extra_head
        for (i = 1; i <= n; i++) printf "   %-" col "s", a[i] (a[i] == "x86" && x86route == "vm" ? " emulated" : " native")
        printf "\n"
        for (r = 1; r <= rows[t]; r++) {
            w = order[t, r]
            printf "%-" width "s%s", w, note[t, w]
            for (i = 1; i <= n; i++) printf "   %-" col "s", ((t, w, a[i]) in cell) ? cell[t, w, a[i]] : "-"
            printf "\n"
        }
    }
    BEGIN {
        n = split(arches, a, " ")
        for (i = 1; i <= n; i++) {
            cur = a[i]
            file = dir "/" cur ".out"
            while ((getline line < file) > 0) {
                if (line ~ / wall= *[0-9.]+ ms +prescribed=/) {
                    what = line; sub(/ +wall=.*/, "", what); sub(/ \((port|result)=[^)]*\)/, "", what)
                    wall = line; sub(/.*wall= */, "", wall); sub(/ ms.*/, "", wall)
                    want = line; sub(/.*prescribed= */, "", want); sub(/ ms.*/, "", want)
                    ratio = line; sub(/.*ratio=/, "", ratio)
                    add("wall", what, sprintf("%8.0f ms  %5s", wall, ratio), sprintf(" %9s ms", want))
                } else if (line ~ / ms_per_call=[0-9.]+/) {
                    what = line; sub(/ +ms_per_call=.*/, "", what); gsub(/  +/, " ", what)
                    ms = line; sub(/.*ms_per_call=/, "", ms); sub(/ .*/, "", ms)
                    add("tapi", what, sprintf("%8.3f ms", ms), "")
                }
            }
        }
        table("wall", "wall time / prescribed time", 46, 20, sprintf(" %12s", "prescribed"))
        table("tapi", "telephony, ms per call", 62, 14, "")
    }'
