#!/usr/bin/env bash
# Static checks of the release archive that "make dist" builds, read as files, without
# Wine, so they run on every machine:
#
#   check-archive.sh listing   ZIP VERSION
#       the archive holds exactly the files of tests/dist/listing.txt: nothing missing,
#       nothing more (no test program, no test double, no build file)
#   check-archive.sh contents  ZIP VERSION DLL32_DIR DLL64_DIR
#       the binaries are those of the two builds and of the right machine type; the
#       texts are the sources' with CR LF line ends; README.txt names the version; the
#       licence's copyright line stands in both DLLs' version resources
#   check-archive.sh importlib ZIP VERSION
#       the import libraries: telvarid.lib imports the four functions by their
#       undecorated names (on x86 from MSVC's cdecl symbols _TVR...), libtelvarid.dll.a
#       defines the symbols MinGW's compilers use
#   check-archive.sh checksums ZIP VERSION
#       "sha256sum -c" passes on the SHA256SUMS beside the archive (which names the
#       archive) and on the SHA256SUMS inside it, which names every other file in it
#   check-archive.sh msvclink  ZIP VERSION
#       a program compiled in MSVC mode against telvarid.h and linked by lld-link against
#       telvarid.lib imports the four functions by name from telvarid.dll; fails where
#       clang or lld-link is missing (tools/setup-machine.sh dist installs both)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
check=$1 zip=$2 version=$3
top=telvarid-$version
failed=0

fail() {
    echo "FAIL  $*"
    failed=1
}
pass() { echo "ok    $*"; }

if [[ ! -f $zip ]]; then
    echo "FAIL  $zip does not exist: build it with make dist (make test does)"
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpack() {
    unzip -q "$zip" -d "$work"
    root=$work/$top
}

# The machine field of a PE file's header, as llvm-readobj names it.
machine() { llvm-readobj --file-headers "$1" 2>/dev/null | sed -n 's/^ *Machine: \([A-Z0-9_]*\).*/\1/p' | head -1; }

# The 16-bit little-endian text of $1 as a PCRE pattern: each character escaped and
# followed by a zero byte, as a version resource stores its strings.
utf16_pattern() {
    local text=$1 i ch out=""
    for ((i = 0; i < ${#text}; i++)); do
        ch=${text:i:1}
        [[ $ch =~ [A-Za-z0-9\ ] ]] || ch="\\$ch"
        out+="$ch\\x00"
    done
    printf '%s' "$out"
}

case $check in
listing)
    expected=$(sed "s/@VERSION@/$version/" "$here/listing.txt" | LC_ALL=C sort)
    actual=$(unzip -Z1 "$zip" | LC_ALL=C sort)
    if [[ $expected == "$actual" ]]; then
        pass "the archive holds exactly the $(wc -l <<<"$expected") files expected"
    else
        fail "the archive's listing differs (- expected, + in the archive):"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed -n 's/^[<>]/&/p' |
            sed 's/^</      -/; s/^>/      +/'
    fi
    ;;
contents)
    dll32_dir=$4 dll64_dir=$5
    unpack
    for arch in x86 x64; do
        if [[ $arch == x86 ]]; then dir=$dll32_dir want=IMAGE_FILE_MACHINE_I386; else dir=$dll64_dir want=IMAGE_FILE_MACHINE_AMD64; fi
        for file in telvarid.dll libtelvarid.dll.a tvrprobe.exe; do
            if cmp -s "$root/$arch/$file" "$dir/$file"; then
                pass "$arch/$file is the one the build made"
            else
                fail "$arch/$file differs from $dir/$file"
            fi
        done
        for file in telvarid.dll tvrprobe.exe; do
            got=$(machine "$root/$arch/$file")
            [[ $got == "$want" ]] && pass "$arch/$file is $want" || fail "$arch/$file is '$got', not $want"
        done
        # The version resource carries the licence's copyright line.
        copyright=$(grep -m1 '^Copyright' "$source_dir/LICENSE")
        if LC_ALL=C grep -q -a -P "$(utf16_pattern "$copyright")" "$root/$arch/telvarid.dll"; then
            pass "$arch/telvarid.dll names '$copyright' in its version resource"
        else
            fail "$arch/telvarid.dll lacks '$copyright' in its version resource"
        fi
    done
    # The NSIS plug-in, each flavour the one its build made, for its machine.
    for flavour in x86-ansi x86-unicode amd64-unicode; do
        if [[ $flavour == amd64-unicode ]]; then dir=$dll64_dir want=IMAGE_FILE_MACHINE_AMD64; else dir=$dll32_dir want=IMAGE_FILE_MACHINE_I386; fi
        file=nsis/Plugins/$flavour/TvrModem.dll
        cmp -s "$root/$file" "$dir/Plugins/$flavour/TvrModem.dll" && pass "$file is the one the build made" ||
            fail "$file differs from $dir/Plugins/$flavour/TvrModem.dll"
        got=$(machine "$root/$file")
        [[ $got == "$want" ]] && pass "$file is $want" || fail "$file is '$got', not $want"
    done
    # Texts: the sources, each line ended by CR LF.
    declare -A sources=([LICENSE]=LICENSE [CHANGELOG.txt]=release/CHANGELOG.txt [telvarid.h]=frame/telvarid.h
        [telvarid.def]=frame/telvarid.def)
    while IFS= read -r example; do
        sources[$example]=$example
    done < <(cd "$source_dir" && find examples -type f | LC_ALL=C sort)
    for file in "${!sources[@]}"; do
        if ! cmp -s <(tr -d '\r' <"$root/$file") "$source_dir/${sources[$file]}"; then
            fail "$file differs from ${sources[$file]}"
        elif grep -q -v $'\r$' "$root/$file"; then
            fail "$file has a line that does not end in CR LF"
        else
            pass "$file is ${sources[$file]} with CR LF line ends"
        fi
    done
    first=$(head -1 "$root/README.txt" | tr -d '\r')
    [[ $first == "telvarid $version "* ]] && pass "README.txt starts with the version" ||
        fail "README.txt starts '$first', not 'telvarid $version ...'"
    # The header a setup program compiles against names the archive's version, and the
    # change log has an entry for it.
    IFS=. read -r major minor patch <<<"$version"
    header=$(tr -d '\r' <"$root/telvarid.h" | grep -E '^#define TELVARID_VERSION(_MAJOR|_MINOR|_PATCH)? ')
    wanted=$(printf '#define TELVARID_VERSION_MAJOR %s\n#define TELVARID_VERSION_MINOR %s\n#define TELVARID_VERSION_PATCH %s\n#define TELVARID_VERSION "%s"' \
        "$major" "$minor" "$patch" "$version")
    [[ $header == "$wanted" ]] && pass "telvarid.h names version $version" ||
        fail "telvarid.h names: $(echo $header)"
    tr -d '\r' <"$root/CHANGELOG.txt" | grep -x -F "$version" >/dev/null && pass "CHANGELOG.txt has an entry for $version" ||
        fail "CHANGELOG.txt has no entry headed $version"
    # What an installer author asks, answered where the author reads first (the text's
    # line breaks and indents read as single spaces).
    readme=$(tr -d '\r' <"$root/README.txt" | tr '\n' ' ' | tr -s ' ')
    while IFS='|' read -r what phrase; do
        grep -q -F -- "$phrase" <<<"$readme" && pass "README.txt says $what" || fail "README.txt does not say $what ('$phrase')"
    done <<'PHRASES'
what a package's custom action names|DllEntry="TVRMsiFindModem"
that the custom actions run immediate, never deferred|never deferred, since a deferred action sees no properties
which properties the check reads|TVR_CHECK_PORT ("COM2"), TVR_CHECK_SPEED (bit/s,
that NSIS strings are type m, not t|must be of type "m" (8-bit text), never
that the scan sends ATE0V1 then AT|sending "ATE0V1" and then
that the port-name buffer may be left as it was|the buffer is left exactly as it was
that a held port gives 1|1 when another program holds the port
that a command over 254 characters gives 0 at once|0 at once, without touching the port, for a command longer than
that Inno Setup's [Code] runs on the window thread|[Code] runs on the wizard's window thread
that the licence notice travels with the installer|an installer that contains telvarid.dll must carry LICENSE
which Windows versions it runs on|Windows versions:
PHRASES
    tr -d '\r' <"$root/examples/inno/modem.iss" | grep -E '^Source: .*telvarid\.dll"; Flags: dontcopy noencryption$' >/dev/null &&
        pass "modem.iss extracts the DLL with dontcopy noencryption" ||
        fail "modem.iss does not give the DLL Flags: dontcopy noencryption"
    ;;
importlib)
    unpack
    # In the order of frame/telvarid.def, which the import library keeps.
    functions=(TVRCheckCommParams TVRInitTextDialog TVRModemAvailable TVRScanForModem TVRFindModem TVRInitTextDialogW)
    actions=(TVRMsiFindModem TVRMsiCheckPort TVRMsiModemAvailable)
    for arch in x86 x64; do
        # x86: MSVC names a cdecl function _Name and its import __imp__Name; the import
        # is looked up by the name without the underscore ("noprefix"), the export's.
        # x64: no decoration; looked up by the symbol's own name.
        expected=""
        for f in "${functions[@]}"; do
            if [[ $arch == x86 ]]; then
                expected+=$'Type: code\nName type: noprefix\n'"Symbol: __imp__$f"$'\n'"Symbol: _$f"$'\n'
            else
                expected+=$'Type: code\nName type: name\n'"Symbol: __imp_$f"$'\n'"Symbol: $f"$'\n'
            fi
        done
        # The stdcall custom actions: x86 MSVC names them _Name@4, looked up without
        # the underscore and the @4 ("undecorate"), the export's name.
        for f in "${actions[@]}"; do
            if [[ $arch == x86 ]]; then
                expected+=$'Type: code\nName type: undecorate\n'"Symbol: __imp__$f@4"$'\n'"Symbol: _$f@4"$'\n'
            else
                expected+=$'Type: code\nName type: name\n'"Symbol: __imp_$f"$'\n'"Symbol: $f"$'\n'
            fi
        done
        actual=$(llvm-readobj "$root/$arch/telvarid.lib" | grep -E '^(Type|Name type|Symbol): ')
        if [[ $actual == "${expected%$'\n'}" ]]; then
            pass "$arch/telvarid.lib imports every function and custom action by its undecorated name"
        else
            fail "$arch/telvarid.lib's import members:"
            printf '%s\n' "$actual" | sed 's/^/      /'
        fi
        # Each member names its DLL: "File: telvarid.dll", or "File: ARCHIVE(telvarid.dll)".
        dlls=$(llvm-readobj "$root/$arch/telvarid.lib" | sed -n 's/^File: .*(\(.*\))$/\1/p; t; s/^File: //p' |
            LC_ALL=C sort -u)
        [[ $dlls == telvarid.dll ]] && pass "$arch/telvarid.lib names telvarid.dll" ||
            fail "$arch/telvarid.lib names '$dlls'"
        prefix=""
        [[ $arch == x86 ]] && prefix=_
        # MinGW's own import library, from the linker, names every export as the DLL does.
        expected=$(for f in "${functions[@]}" "${actions[@]}"; do echo "${prefix}$f"; echo "__imp_${prefix}$f"; done |
            LC_ALL=C sort)
        actual=$(llvm-nm "$root/$arch/libtelvarid.dll.a" 2>/dev/null | awk '$2 == "T" || $2 == "I" { print $3 }' |
            grep -E 'TVR' | LC_ALL=C sort)
        [[ $actual == "$expected" ]] && pass "$arch/libtelvarid.dll.a defines ${prefix}TVR... and __imp_${prefix}TVR..." ||
            fail "$arch/libtelvarid.dll.a defines: $(echo $actual)"
    done
    ;;
checksums)
    dist=$(dirname "$zip")
    if [[ ! -f $dist/SHA256SUMS ]]; then
        fail "$dist/SHA256SUMS does not exist"
    elif [[ $(awk '{ print $2 }' "$dist/SHA256SUMS") != "$(basename "$zip")" ]]; then
        fail "$dist/SHA256SUMS names '$(awk '{ print $2 }' "$dist/SHA256SUMS" | tr '\n' ' ')', not $(basename "$zip") alone"
    elif out=$(cd "$dist" && sha256sum --strict -c SHA256SUMS 2>&1); then
        pass "sha256sum -c SHA256SUMS beside the archive: $out"
    else
        fail "sha256sum -c SHA256SUMS beside the archive:"
        printf '%s\n' "$out" | sed 's/^/      /'
    fi
    unpack
    if [[ ! -f $root/SHA256SUMS ]]; then
        fail "the archive holds no SHA256SUMS"
    else
        listed=$(tr -d '\r' <"$root/SHA256SUMS" | sed 's/^[0-9a-f]\{64\}  //' | LC_ALL=C sort)
        files=$(cd "$root" && find . -type f ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
        if [[ $listed == "$files" ]]; then
            pass "SHA256SUMS in the archive names each of its other $(wc -l <<<"$files") files"
        else
            fail "SHA256SUMS in the archive and its files differ (- listed, + in the archive):"
            diff <(printf '%s\n' "$listed") <(printf '%s\n' "$files") | sed -n 's/^</      -/p; s/^>/      +/p'
        fi
        if out=$(cd "$root" && sha256sum --strict -c SHA256SUMS 2>&1); then
            pass "sha256sum -c SHA256SUMS inside the archive: $(grep -c ': OK$' <<<"$out") files OK"
        else
            fail "sha256sum -c SHA256SUMS inside the archive:"
            printf '%s\n' "$out" | grep -v ': OK$' | sed 's/^/      /'
        fi
    fi
    ;;
msvclink)
    for tool in clang lld-link; do
        if ! command -v "$tool" >/dev/null; then
            echo "FAIL  $tool is not installed, so no program can be built as Microsoft's tools build one;"
            echo "      install it with tools/setup-machine.sh dist"
            exit 1
        fi
    done
    unpack
    for arch in x86 x64; do
        if [[ $arch == x86 ]]; then target=i686-pc-windows-msvc prefix=_; else target=x86_64-pc-windows-msvc prefix=""; fi
        obj=$work/msvc-$arch.obj exe=$work/msvc-$arch.exe
        if ! clang --target=$target -c -O1 -I"$root" -I"$here/msvc" "$here/msvc_link.c" -o "$obj"; then
            fail "$arch: telvarid.h does not compile in MSVC mode"
            continue
        fi
        wanted=$(printf "${prefix}%s\n" TVRCheckCommParams TVRInitTextDialog TVRModemAvailable TVRScanForModem)
        undefined=$(llvm-nm "$obj" | awk '$1 == "U" { print $2 }' | LC_ALL=C sort)
        [[ $undefined == "$wanted" ]] && pass "$arch: MSVC mode names the functions $(echo $undefined)" ||
            fail "$arch: MSVC mode left undefined: $(echo $undefined)"
        if ! lld-link /nologo /entry:start /subsystem:console /nodefaultlib "$obj" "$root/$arch/telvarid.lib" \
            "/out:$exe"; then
            fail "$arch: lld-link could not link against $arch/telvarid.lib"
            continue
        fi
        imports=$(llvm-readobj --coff-imports "$exe" | sed -n 's/^ *Name: //p; s/^ *Symbol: \([A-Za-z_]*\).*/\1/p')
        expected=$'telvarid.dll\nTVRCheckCommParams\nTVRInitTextDialog\nTVRModemAvailable\nTVRScanForModem'
        [[ $imports == "$expected" ]] && pass "$arch: the linked program imports the four functions by name from telvarid.dll" ||
            fail "$arch: the linked program imports: $(echo $imports)"
    done
    ;;
*)
    echo "usage: check-archive.sh listing|contents|importlib|checksums|msvclink ZIP VERSION [DLL32_DIR DLL64_DIR]" >&2
    exit 2
    ;;
esac
exit $failed
