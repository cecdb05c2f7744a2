#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only. Idempotent: on a
# machine that has everything it installs nothing and takes a second.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libgtest-dev googletest
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-x86-64-dev mingw-w64-i686-dev
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
    wine wine64 xvfb xauth x11-apps imagemagick
    osslsigncode openssl python3 python3-pytest openjdk-17-jdk-headless junit4 zip
    libtomlplusplus-dev libfuzzer-14-dev
)
# The shipped launcher is 32-bit; running it here needs Wine's 32-bit half under qemu.
packages32=(wine32:i386 qemu-user)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
missing32=()
for p in "${packages32[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing32+=("$p")
done

if ((${#missing[@]} + ${#missing32[@]} > 0)); then
    echo "setup: installing ${missing[*]} ${missing32[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ((${#missing32[@]} > 0)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    if ((${#missing[@]} > 0)); then
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    if ((${#missing32[@]} > 0)); then
        # Optional: without it the 32-bit smoke tests skip and say why.
        apt-get install -y -qq --no-install-recommends "${missing32[@]}" >/dev/null ||
            echo "setup: 32-bit Wine not installable here; 32-bit tests will skip"
    fi
fi
