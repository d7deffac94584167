#!/usr/bin/env bash
# Builds the release package build/velmora-VERSION.zip: velmora.exe, its read-me velmora.htm, the
# UTF-8 edition velmora-utf8.exe with its read-me velmora-utf8.htm, velmora-batch.exe and the
# example (examples/, with an empty out folder for its output), ready to unpack and run on Windows,
# and beside it build/velmora-VERSION.zip.sha256, its SHA-256 checksum in the form that
# sha256sum -c reads. Then unpacks it and runs the batch command on the example under Wine as a
# smoke test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh windows

version="$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
name="velmora-$version"
stage="$root/build/package/$name"
zipfile="$root/build/$name.zip"
rm -rf "$root/build/package" "$zipfile" "$zipfile.sha256"
mkdir -p "$stage/examples/out"

cp build/windows/app/velmora.exe build/windows/app/velmora.htm build/windows/app/velmora-utf8.exe \
  build/windows/app/velmora-utf8.htm build/windows/cli/velmora-batch.exe "$stage/"
x86_64-w64-mingw32-strip "$stage/velmora.exe" "$stage/velmora-utf8.exe" "$stage/velmora-batch.exe"
cp examples/* "$stage/examples/"
(cd "$root/build/package" && zip -q -r -X "$zipfile" "$name")
# The program files are unsigned: the checksum lets a user check the ZIP before unblocking it.
(cd "$root/build" && sha256sum "$name.zip" >"$name.zip.sha256")

# Smoke test: the unpacked package runs the example as it stands.
check="$root/build/package-check"
rm -rf "$check"
mkdir -p "$check"
(cd "$check" && unzip -q "$zipfile")
(
  # A Wine prefix of its own, so that stopping its server never touches a test run.
  . scripts/wine-env.sh build/package-wine
  velmora_wine_start
  trap velmora_wine_stop EXIT
  cd "$check/$name/examples"
  "$VELMORA_WINE" ../velmora-batch.exe --quiet products.ini >"$check/run.log" </dev/null
)
count="$(find "$check/$name/examples/out" -type f | wc -l)"
if [ "$count" -eq 0 ]; then
  echo "package.sh: the unpacked example wrote no files" >&2
  exit 1
fi
rm -rf "$check"
echo "Package: $zipfile"
echo "Checksum: $zipfile.sha256 ($(cut -d' ' -f1 "$zipfile.sha256"))"
unzip -l "$zipfile"
echo "(smoke test: the unpacked batch command wrote $count files from the example)"
