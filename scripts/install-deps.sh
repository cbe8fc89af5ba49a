#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine. Safe to run again.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config
    g++-multilib  # the 32-bit layout checks compile with -m32
    libgtest-dev libgmock-dev libbenchmark-dev
    # The scene player: WAV files, the SOFA set of head-related impulse responses
    # (/usr/share/libmysofa/default.sofa comes with libmysofa1), FFTs, scene files, and SVG to PNG
    # for the checks of its picture.
    libsndfile1-dev libmysofa-dev libmysofa1 libfftw3-dev nlohmann-json3-dev librsvg2-bin
    # Resampling of WAV sources; a headless browser for the test of the scene's page.
    libsamplerate0-dev chromium
)

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
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
