#!/usr/bin/env bash
# Installs what one kind of work needs on a Debian 12 machine, only what is missing,
# quietly and idempotently. Each argument names a group; the targets of the Makefile
# ask for the groups they use, so building the DLL never installs Wine.
#
#   build   the two DLLs: CMake and the i686 and x86-64 MinGW-w64 cross compilers, and
#           NSIS's plug-in API for them (the TvrModem plug-in)
#   unit    the unit level: the native compiler and GoogleTest
#   wine    the integration level: Wine (32- and 64-bit), its fonts, Xvfb, NSIS,
#           ImageMagick (screenshots), unshare (the fence around the serial devices),
#           wixl and msitools (Windows Installer packages built and read for suite-msi) and
#           qemu-system-x86 (the guest that runs the PE32 build where this kernel runs no
#           32-bit programs: tests/vm)
#   dist    the release archive: zip and llvm-dlltool (an import library for MSVC),
#           clang and lld-link (a program linked against it as MSVC links one),
#           osslsigncode (Debian 12's own, never a backport) and openssl to sign it
#           (Authenticode) and to test the signing
#   fuzz    the fuzzers: clang with libFuzzer and the sanitizer runtimes
set -euo pipefail

declare -A groups=(
    [build]="cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 nsis-pluginapi"
    [unit]="cmake make g++ libgtest-dev"
    [wine]="wine wine32:i386 wine64 fonts-wine xvfb nsis imagemagick util-linux qemu-system-x86 wixl msitools"
    [dist]="zip unzip llvm clang lld osslsigncode openssl"
    [fuzz]="clang libclang-rt-14-dev"
)

(($# > 0)) || set -- build unit wine
packages=()
for g in "$@"; do
    [[ -n ${groups[$g]+set} ]] || { echo "setup: unknown group '$g'" >&2; exit 2; }
    read -r -a more <<<"${groups[$g]}"
    packages+=("${more[@]}")
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" >/dev/null; then
        missing+=("$p")
    fi
done
sudo=""
[[ $(id -u) -eq 0 ]] || sudo=sudo
# The guest's kernel is fetched later with apt-get download (tests/vm/image.sh), never
# installed: apt must know linux-image-amd64 even where every package is already here
# and the package lists were emptied.
if [[ " $* " == *" wine "* ]] && ! "$(dirname "$0")/../tests/vm/image.sh" --kernel-package >/dev/null 2>&1; then
    echo "setup: apt-get update (the guest's kernel package, linux-image-amd64, is unknown to apt)"
    $sudo apt-get update -qq
fi
if ((${#missing[@]} > 0)); then
    echo "setup: installing ${missing[*]}"
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The release is signed and tested with the osslsigncode of Debian 12's main archive
# (2.5), the one a fresh machine gets. A backport (2.9 and later) accepts options that
# 2.5 refuses and would hide such a fault, so it gives way to the main archive's.
if [[ " $* " == *" dist "* ]]; then
    version=$(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null || true)
    if [[ $version == *~bpo* ]]; then
        echo "setup: osslsigncode $version is a backport: installing Debian 12's own"
        $sudo apt-get update -qq
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            --allow-downgrades osslsigncode/bookworm >/dev/null
    fi
fi
