#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, skipping what is there.
set -euo pipefail
packages=(cmake g++ make libpng-dev zlib1g-dev libgtest-dev libbenchmark-dev
          python3 python3-pil pngcheck ffmpeg apngdis
          # the Windows module: cross compiler, Wine, and an X server for the dialog
          # (the win32-threads flavour of the compiler: no threads library linked in)
          g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 googletest wine64 xvfb
          fonts-wine libxrender1 fonts-ipafont-gothic imagemagick
          # zlib for the Windows test programs' own APNG decoder (never the module)
          libz-mingw-w64-dev
          # the fuzz targets: clang with libFuzzer
          clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
fi
