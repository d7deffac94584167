#!/usr/bin/env bash
# Sets up the machine, builds every flavour and runs every test: the native unit and end-to-end
# tests, the same under the sanitizers, the Windows build's tests under Wine at code page 932
# (the window's tests under Xvfb), and a short run of each fuzz target.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

failed=0
stage() { echo; echo "==== $*"; }

stage "native build and tests"
bash scripts/build.sh native
(cd build/native && ctest -j "$(nproc)" --output-on-failure --timeout 300) || failed=1

stage "sanitizer build and tests"
bash scripts/build.sh sanitize
(cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest -j "$(nproc)" --output-on-failure --timeout 600) || failed=1

stage "Windows build and tests under Wine"
bash scripts/build.sh windows
(
  . scripts/wine-env.sh build/windows
  velmora_wine_start
  trap velmora_wine_stop EXIT
  cd build/windows
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 600
  else
    ctest --output-on-failure --timeout 600
  fi
) || failed=1

if [ -x scripts/fuzz.sh ]; then
  stage "fuzz targets, a short run each"
  bash scripts/fuzz.sh "${VELMORA_FUZZ_SECONDS:-30}" || failed=1
fi

echo
if [ "$failed" -ne 0 ]; then
  echo "TESTS FAILED"
  exit 1
fi
echo "ALL TESTS PASSED"
