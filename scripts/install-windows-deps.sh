#!/usr/bin/env bash
# Installs what the Windows cross-build and its run under Wine need on a fresh Debian 12 machine:
# the MinGW-w64 compilers of the posix thread model (64 and 32 bits), Wine, and PulseAudio with its
# utilities (the output device that Wine's spatial renderer plays into). With ZV_WINE32=1 also
# the 32-bit Wine, which runs the 32-bit design-tool library (it adds the i386 architecture);
# scripts/windows-test.sh asks for it only where this machine runs 32-bit programs.
# Safe to run again.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64
    pulseaudio pulseaudio-utils
)
if [ "${ZV_WINE32:-0}" = 1 ]; then
    packages+=(wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if [ "${ZV_WINE32:-0}" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
