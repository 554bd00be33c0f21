#!/usr/bin/env bash
# A release signed with the author's own certificate, as cmake/dist.cmake makes it with
# SIGN_CERT and SIGN_KEY or SIGN_PKCS12, from the DLL builds already made:
#
#   - a throwaway self-signed code-signing certificate, made here with openssl;
#   - the release signed with it (PEM certificate and key), and again from a PKCS#12
#     file whose password comes from TVR_SIGN_PASSWORD; a wrong password signs nothing;
#   - in each, both telvarid.dll and both tvrprobe.exe carry an Authenticode SHA-256
#     signature that "osslsigncode verify" accepts against that certificate and whose
#     digest matches the file; the static PE checks (exports, imports, start-up, size)
#     pass on the signed DLLs, and the hardening checks (ASLR, DEP, relocations) on all
#     four; "sha256sum -c" passes on both SHA256SUMS, which were made after signing;
#     README.txt says the release is signed;
#   - a signed DLL and a signed program altered after signing fail the verification;
#   - the release of "make dist" (build/dist, unsigned) carries no signature and its
#     README.txt says it is unsigned.
#
#   check-signing.sh SOURCE_DIR DLL32_DIR DLL64_DIR DIST_ZIP PECHECK_PROGRAM
set -euo pipefail

source_dir=$1 dll32_dir=$2 dll64_dir=$3 unsigned_zip=$4 pecheck=$5
for tool in osslsigncode openssl; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL  $tool is not installed (tools/setup-machine.sh dist)"
        exit 1
    fi
done
# Which signer this run proves: tools/setup-machine.sh dist installs Debian 12's own.
echo "note  signing with $(osslsigncode --version 2>&1 | head -1 | sed "s/,.*//")"
work=$(mktemp -d "${TMPDIR:-/tmp}/tvr-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "FAIL  $*"
    failed=1
}
pass() { echo "ok    $*"; }
signed_files=(x86/telvarid.dll x64/telvarid.dll x86/tvrprobe.exe x64/tvrprobe.exe nsis/Plugins/x86-ansi/TvrModem.dll
    nsis/Plugins/x86-unicode/TvrModem.dll nsis/Plugins/amd64-unicode/TvrModem.dll)

# A self-signed certificate for code signing, valid for two days, and its key.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=telvarid throwaway test signer" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.err" ||
    { cat "$work/openssl.err"; exit 1; }
password="not on any command line"
TVR_SIGN_PASSWORD=$password openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" \
    -out "$work/author.p12" -passout env:TVR_SIGN_PASSWORD

# The commit's time, as make dist takes it; any fixed time outside a git checkout.
epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 1700000000)
# dist NAME [cmake -D options...]: a release into $work/NAME; its log in $work/NAME.log.
dist() {
    local name=$1
    shift
    cmake -DTVR_DLL_DIR="$dll32_dir" -DTVR_DLL64_DIR="$dll64_dir" -DTVR_DIST_DIR="$work/$name" \
        -DTVR_SOURCE_DATE_EPOCH="$epoch" "$@" -P "$source_dir/cmake/dist.cmake" >"$work/$name.log" 2>&1
}

# The checks of one signed release, made in $work/$1.
check_signed() {
    local name=$1 root zip file out
    zip=$(echo "$work/$name"/telvarid-*.zip)
    mkdir -p "$work/$name-unpacked"
    unzip -q "$zip" -d "$work/$name-unpacked"
    root=$(echo "$work/$name-unpacked"/telvarid-*)
    for file in "${signed_files[@]}"; do
        if out=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$root/$file" 2>&1) &&
            grep -q '^Signature verification: ok' <<<"$out" &&
            grep -q '^Message digest algorithm *: SHA256' <<<"$out" &&
            grep -q 'Subject: /CN=telvarid throwaway test signer' <<<"$out"; then
            current=$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$out")
            calculated=$(sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$out")
            if [[ -n $current && $current == "$calculated" ]]; then
                pass "$name: $file is signed (Authenticode, SHA-256) by the test certificate and matches its signature"
            else
                fail "$name: $file: the signed digest '$current' is not the file's '$calculated'"
            fi
        else
            fail "$name: osslsigncode verify does not accept $file:"
            printf '%s\n' "$out" | tail -8 | sed 's/^/      /'
        fi
    done
    if out=$(TVR_PE_DLL32=$root/x86/telvarid.dll TVR_PE_DLL64=$root/x64/telvarid.dll \
        TVR_PE_PROBE32=$root/x86/tvrprobe.exe TVR_PE_PROBE64=$root/x64/tvrprobe.exe "$pecheck" \
        --gtest_filter='Builds/*:Shipped/*' --gtest_brief=1 2>&1); then
        pass "$name: the static PE checks pass on both signed DLLs, and the hardening checks on all four files"
    else
        fail "$name: the static PE checks on the signed files:"
        printf '%s\n' "$out" | grep -E 'Failure|FAILED|Which is|Expected|^  ' | head -20 | sed 's/^/      /'
    fi
    if (cd "$work/$name" && sha256sum --strict -c --quiet SHA256SUMS) &&
        (cd "$root" && sha256sum --strict -c --quiet SHA256SUMS); then
        pass "$name: sha256sum -c passes on both SHA256SUMS, made after signing"
    else
        fail "$name: sha256sum -c fails on a SHA256SUMS"
    fi
    if tr -d '\r' <"$root/README.txt" | grep '^The DLLs and tvrprobe.exe of this release are signed' >/dev/null; then
        pass "$name: README.txt says the release is signed"
    else
        fail "$name: README.txt does not say the release is signed"
    fi
}

if dist pem -DTVR_SIGN_CERT="$work/cert.pem" -DTVR_SIGN_KEY="$work/key.pem"; then
    check_signed pem
else
    fail "signing with SIGN_CERT and SIGN_KEY failed:"
    sed 's/^/      /' "$work/pem.log"
fi
if TVR_SIGN_PASSWORD=$password dist pkcs12 -DTVR_SIGN_PKCS12="$work/author.p12"; then
    check_signed pkcs12
else
    fail "signing with SIGN_PKCS12 and TVR_SIGN_PASSWORD failed:"
    sed 's/^/      /' "$work/pkcs12.log"
fi
# Stopped by the password itself: osslsigncode got it and could not open the PKCS#12
# file with it (a signer that never read the password would stop here too).
if TVR_SIGN_PASSWORD="the wrong one" dist wrong -DTVR_SIGN_PKCS12="$work/author.p12"; then
    fail "a PKCS#12 file with the wrong password signed a release"
elif compgen -G "$work/wrong/*.zip" >/dev/null; then
    fail "a PKCS#12 file with the wrong password left an archive behind"
elif ! grep -q 'PKCS#12 file' "$work/wrong.log"; then
    fail "a PKCS#12 file with the wrong password stops the release, but not at the PKCS#12 file:"
    sed 's/^/      /' "$work/wrong.log"
else
    pass "a PKCS#12 file with the wrong password stops the release at the PKCS#12 file, with no archive"
fi

# Altered after signing: one byte of the code of a DLL, one byte of a program.
root=$(echo "$work/pem-unpacked"/telvarid-*)
for file in x64/telvarid.dll x86/tvrprobe.exe; do
    [[ -f $root/$file ]] || continue
    cp "$root/$file" "$work/altered"
    offset=$((0x400 + 16))
    byte=$(od -An -tu1 -j $offset -N1 "$work/altered" | tr -d ' ')
    printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$work/altered" bs=1 seek=$offset conv=notrunc status=none
    if cmp -s "$work/altered" "$root/$file"; then
        fail "$file: could not alter a byte"
    elif out=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/altered" 2>&1); then
        fail "$file altered after signing still verifies"
    elif grep -q 'MISMATCH' <<<"$out"; then
        pass "$file altered after signing fails the verification (its digest no longer matches)"
    else
        fail "$file altered after signing fails, but not for its digest:"
        printf '%s\n' "$out" | tail -5 | sed 's/^/      /'
    fi
done

# The release of make dist, without SIGN_CERT: unsigned, and it says so.
if [[ -f $unsigned_zip ]]; then
    mkdir -p "$work/unsigned"
    unzip -q "$unsigned_zip" -d "$work/unsigned"
    root=$(echo "$work/unsigned"/telvarid-*)
    signed=0
    for file in "${signed_files[@]}"; do
        if osslsigncode verify -CAfile "$work/cert.pem" -in "$root/$file" >"$work/verify.out" 2>&1; then
            fail "$file of $(basename "$unsigned_zip") carries a signature"
            signed=1
        fi
    done
    ((signed)) || pass "$(basename "$unsigned_zip"): no file carries a signature"
    if tr -d '\r' <"$root/README.txt" | grep '^This release is unsigned' >/dev/null; then
        pass "$(basename "$unsigned_zip"): README.txt says the release is unsigned"
    else
        fail "$(basename "$unsigned_zip"): README.txt does not say the release is unsigned"
    fi
else
    fail "$unsigned_zip does not exist: build it with make dist"
fi
exit $failed
