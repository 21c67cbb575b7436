#!/usr/bin/env bash
# Photographs the settings dialog of the Windows module under Wine and Xvfb
# into docs/config-dialog.png. Needs the windows preset built.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
configure_exe="$root/build/windows/bin/vorlane-configure.exe"
[ -f "$configure_exe" ] || { echo "build the windows preset first" >&2; exit 1; }

# A prefix of its own: the font mapping below is for the picture only.
export WINEPREFIX="$root/build/windows/wine-screenshot" WINEDEBUG=-all
export VORLANE_WINE=/usr/lib/wine/wine64 VORLANE_XVFB="$(command -v Xvfb)"
scripts/wine-session.sh --create-prefix
# Wine draws the caption buttons with glyphs of the Marlett font, which a new
# prefix lacks: the close box comes out as the letter "r". Wine's own Marlett
# (Debian's fonts-wine) goes where Windows keeps it.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The dialog's font and the caption font, both to a Japanese font that Debian
# ships; regedit wants UTF-16 with a byte-order mark.
{
  printf '\xff\xfe'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"メイリオ"="IPAGothic"\r\n"Tahoma"="IPAGothic"\r\n' |
    iconv -f UTF-8 -t UTF-16LE
} >"$work/fonts.reg"

# Without a window manager only a Wine virtual desktop draws the title bar.
# The dialog sits at (0, 0) of it, as its template says.
cat >"$work/shoot.sh" <<INNER
set -eu
"\$VORLANE_WINE" regedit /S "Z:$work/fonts.reg"
"\$VORLANE_WINE" explorer /desktop=Vorlane,206x188 "Z:$configure_exe" &
sleep 8
import -window root -crop 206x188+0+0 +repage "$root/docs/config-dialog.png"
INNER
mkdir -p docs
scripts/wine-session.sh --xvfb --unix -- sh "$work/shoot.sh"
echo "screenshot: $root/docs/config-dialog.png"
