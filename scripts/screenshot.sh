#!/usr/bin/env bash
# Takes PNG screenshots of the main window under Wine (code page 932, the template's font mapped
# to a free font of like widths) in a virtual desktop on Xvfb, at 96, 144 and 192 DPI (100, 150
# and 200 %, Wine's LogPixels), the desktop scaled with them.
# Usage: bash scripts/screenshot.sh [OUTDIR [DPI...]]
# Default: docs/velmora-96dpi.png, docs/velmora-144dpi.png and docs/velmora-192dpi.png.
# Builds the Windows flavour first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
outdir="$(realpath -m "${1:-docs}")"
shift || true
dpis=("$@")
[ ${#dpis[@]} -gt 0 ] || dpis=(96 144 192)
mkdir -p "$outdir"
bash scripts/build.sh windows >/dev/null

# A Wine prefix of its own, so that stopping its server at the end never touches a test run.
. scripts/wine-env.sh build/screenshot-wine
velmora_wine_start
trap velmora_wine_stop EXIT

# Imports a .reg file given as UTF-8 text.
import_reg() {
  local reg="$root/build/screenshot-wine/settings.reg"
  printf '%s' "$1" | iconv -f UTF-8 -t UTF-16 >"$reg"
  "$VELMORA_WINE" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || true
}

# The virtual desktop draws the caption buttons with Marlett, from fonts-wine; Debian's Wine does
# not find its own fonts folder, so the font is registered by its full path.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "screenshot: $marlett is missing (fonts-wine): run scripts/setup.sh" >&2; exit 1; }
import_reg $'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]\r\n"Marlett (TrueType)"="Z:'"${marlett//\//\\\\}"$'"\r\n\r\n'

# The free font that Wine draws the template's "ＭＳ Ｐゴシック" with at a DPI: the one closest to
# its widths whose labels all fit there. Monapo has its widths; its narrow Latin alphabet (like
# the Windows font's) rounds the dialog unit down to 10 and 13 pixels at 144 and 192 DPI, too
# little for six kanji and a colon in 43 units. IPAPGothic's alphabet is a little wider (unit 11)
# and fits at 144 DPI; at 192 DPI only BIZ UDPGothic's wide alphabet (unit 17) does.
template_font() {
  case "$1" in
    144) echo IPAPGothic ;;
    192) echo BIZ UDPGothic ;;
    *) echo Monapo ;;
  esac
}

# A fresh folder, so that the window shows the defaults and leaves no settings file behind.
shot="$root/build/screenshot-wine/run"
for dpi in "${dpis[@]}"; do
  # The system's DPI and the font mapping, read by every Wine process at its start.
  hex="$(printf '%08x' "$dpi")"
  font="$(template_font "$dpi")"
  import_reg $'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="'"$font"$'"\r\n"MS Shell Dlg"="'"$font"$'"\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:'"$hex"$'\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\r\n"LogPixels"=dword:'"$hex"$'\r\n\r\n'
  width=$((640 * dpi / 96))
  height=$((520 * dpi / 96))
  out="$outdir/velmora-${dpi}dpi.png"
  rm -rf "$shot"
  mkdir -p "$shot"
  cp build/windows/app/velmora.exe "$shot/"
  xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash -c '
    cd "$1"
    "$VELMORA_WINE" explorer /desktop=shot,"$3" velmora.exe </dev/null >/dev/null 2>&1 &
    pid=$!
    sleep "${VELMORA_SCREENSHOT_WAIT:-6}"
    import -window root "$2"
    kill "$pid" 2>/dev/null || true
    "$VELMORA_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
  ' _ "$shot" "$out" "${width}x${height}"
  rm -rf "$shot"
  echo "Screenshot at $dpi DPI ($font): $out"
done
