#!/usr/bin/env bash
# Sets up the machine, builds velmora-batch and runs it on the bundled example (a CSV file in
# code page 932 with quoted fields, in-field line breaks and Japanese text, an HTML template and a
# settings file), writing into build/example-out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh native

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
exit "$status"
