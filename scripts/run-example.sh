#!/usr/bin/env bash
# Sets up the machine, builds velmora-batch and runs it on the bundled example (a CSV file in
# code page 932 with quoted fields, in-field line breaks and Japanese text, an HTML template and a
# settings file), writing into build/example-out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
# Only the programs that it runs: the tests are built by scripts/test.sh.
bash scripts/build.sh native --target velmora-batch

out="$root/build/example-out"
rm -rf "$out"
mkdir -p "$out"
status=0
(cd examples && "$root/build/native/cli/velmora-batch" --code-page 932 -o "$out" products.ini) \
  >"$root/build/example-run.log" || status=$?
echo "Run log (code page 932, shown as UTF-8):"
iconv -f CP932 -t UTF-8 "$root/build/example-run.log"
echo "Files written into $out:"
ls -l "$out"

# With a display, also open the window on the same example under Wine (code page 932, the
# template's font mapped to IPAPGothic). It runs on its own; the settings it saves on closing
# stay in build/example-window.
if [ -n "${DISPLAY:-}" ] && bash scripts/build.sh windows --target velmora --target velmora_readme >"$root/build/example-window.log" 2>&1; then
  win="$root/build/example-window"
  rm -rf "$win"
  mkdir -p "$win/out"
  cp examples/* "$win/"
  cp examples/products.ini "$win/velmora.ini"
  cp build/windows/app/velmora.exe "$win/"
  if [ -f build/windows/app/velmora.htm ]; then cp build/windows/app/velmora.htm "$win/"; fi
  (
    . scripts/wine-env.sh build/windows
    reg="$root/build/windows/fonts.reg"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n"MS Shell Dlg"="IPAPGothic"\r\n\r\n' \
      | iconv -f UTF-8 -t UTF-16 >"$reg"
    "$VELMORA_WINE" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || true
    cd "$win"
    nohup "$VELMORA_WINE" velmora.exe </dev/null >/dev/null 2>&1 &
  )
  echo "Opened the Velmora window on the example (folder $win); press 実行(R) to run it."
fi
exit "$status"
