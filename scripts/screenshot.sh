#!/usr/bin/env bash
# Takes a PNG screenshot of the main window under Wine (code page 932, the template's font mapped
# to IPAPGothic) in a virtual desktop on Xvfb. Usage: bash scripts/screenshot.sh [OUT.png]
# Default output: build/screenshot.png. Builds the Windows flavour first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
out="$(realpath -m "${1:-build/screenshot.png}")"
bash scripts/build.sh windows >/dev/null

# A Wine prefix of its own, so that stopping its server at the end never touches a test run.
. scripts/wine-env.sh build/screenshot-wine
velmora_wine_start
trap velmora_wine_stop EXIT

# The dialog template asks for "ＭＳ Ｐゴシック"; Wine draws it with IPAPGothic once mapped.
reg="$root/build/screenshot-wine/fonts.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n"MS Shell Dlg"="IPAPGothic"\r\n\r\n' \
  | iconv -f UTF-8 -t UTF-16 >"$reg"
"$VELMORA_WINE" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || true

# A fresh folder, so that the window shows the defaults and leaves no settings file behind.
shot="$root/build/screenshot-wine/run"
rm -rf "$shot"
mkdir -p "$shot"
cp build/windows/app/velmora.exe "$shot/"
xvfb-run -a -s "-screen 0 640x520x24" bash -c '
  cd "$1"
  "$VELMORA_WINE" explorer /desktop=shot,640x520 velmora.exe </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep "${VELMORA_SCREENSHOT_WAIT:-6}"
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  "$VELMORA_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
' _ "$shot" "$out"
rm -rf "$shot"
echo "Screenshot: $out"
