#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, only what is
# missing, quietly: CMake and GoogleTest (unit level), MinGW-w64 (the real DLL),
# 32-bit Wine and Xvfb (integration level), NSIS (an installer that calls the DLL).
set -euo pipefail

packages=(cmake make g++ libgtest-dev g++-mingw-w64-i686 wine wine32:i386 xvfb nsis
          imagemagick util-linux)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
((${#missing[@]} == 0)) && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
