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
          # a Japanese UTF-8 locale, for the test bundle's run as on a Japanese Windows
          locales
          # the fuzz targets: clang with libFuzzer
          clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js and npm for the workflow validator: Debian's only where there are
# none, since a newer Node.js from elsewhere brings its own npm, which
# Debian's npm package would clash with.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
fi

# Wine takes a Windows' code pages and language from the locale's name, and
# decodes arguments by its character set, which only a generated locale has.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi

# The workflow validator at the versions its lock file pins, under build/
# where no source lives; installed again only when the lock has changed.
root=$(cd "$(dirname "$0")/.." && pwd)
tools=$root/build/workflow-check
if ! cmp -s "$root/tools/workflow-check/package-lock.json" "$tools/installed-lock.json" ||
   [ ! -x "$tools/node_modules/.bin/action-validator" ]; then
  mkdir -p "$tools"
  rm -f "$tools/installed-lock.json"
  cp "$root/tools/workflow-check/package.json" "$root/tools/workflow-check/package-lock.json" "$tools/"
  timeout 300 npm ci --prefix "$tools" --no-audit --no-fund --loglevel=error
  cp "$tools/package-lock.json" "$tools/installed-lock.json"
fi
