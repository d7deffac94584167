#!/usr/bin/env bash
# Sets up the machine, builds every flavour and runs every test: the native unit and end-to-end
# tests, the same under the sanitizers, the lock rules under clang's thread-safety analysis (a
# build only), the native tests under ThreadSanitizer (the writing-thread tests several times
# over), the Windows build's tests under Wine at code page 932 (the window's tests under Xvfb),
# and a short run of each fuzz target.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

failed=0
stage() { echo; echo "==== $*"; }
mkdir -p build
summary="$root/build/test-summary.txt"
: >"$summary"
# Runs a command that runs ctest, keeping ctest's closing line for the summary below.
run_ctest() {
  local log
  log="$(mktemp)"
  local status=0
  "$@" 2>&1 | tee "$log" || status=1
  grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" >>"$summary" || echo "0% tests passed, 1 tests failed out of 1" >>"$summary"
  rm -f "$log"
  return "$status"
}

stage "native build and tests"
bash scripts/build.sh native
(cd build/native && run_ctest ctest -j "$(nproc)" --output-on-failure --timeout 300) || failed=1

stage "sanitizer build and tests"
bash scripts/build.sh sanitize
(cd build/sanitize && export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 &&
   run_ctest ctest -j "$(nproc)" --output-on-failure --timeout 600) || failed=1

stage "lock rules under clang's thread-safety analysis"
bash scripts/build.sh thread-safety || { echo "a lock rule is broken (see above)"; failed=1; }

stage "ThreadSanitizer build and tests"
# GCC 12's ThreadSanitizer stops at start ("unexpected memory mapping") where the kernel
# randomises mappings with more bits than it knows (vm.mmap_rnd_bits 32): where the system lets
# it, the build (which lists the tests by running them) and the tests run without randomisation.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
"${norandom[@]}" bash scripts/build.sh tsan
(cd build/tsan && export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" &&
   run_ctest "${norandom[@]}" ctest -j "$(nproc)" --output-on-failure --timeout 600) || failed=1

stage "Windows build and tests under Wine"
bash scripts/build.sh windows
(
  . scripts/wine-env.sh build/windows
  velmora_wine_start
  trap velmora_wine_stop EXIT
  cd build/windows
  if command -v xvfb-run >/dev/null; then
    run_ctest xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 600
  else
    run_ctest ctest --output-on-failure --timeout 600
  fi
) || failed=1

if [ -x scripts/fuzz.sh ]; then
  stage "fuzz targets, a short run each"
  bash scripts/fuzz.sh "${VELMORA_FUZZ_SECONDS:-30}" || failed=1
fi

# One closing line over every ctest run: each test of the native, sanitizer and ThreadSanitizer
# builds, each test program of the Windows build.
passed_total=0
failed_total=0
while read -r line; do
  f="$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")"
  n="$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")"
  passed_total=$((passed_total + n - f))
  failed_total=$((failed_total + f))
done <"$summary"
echo
echo "tests: $passed_total passed, $failed_total failed"
if [ "$failed" -ne 0 ]; then
  echo "TESTS FAILED"
  exit 1
fi
echo "ALL TESTS PASSED"
