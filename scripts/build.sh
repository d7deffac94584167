#!/usr/bin/env bash
# Configures and builds one flavour of the tree into build/FLAVOUR:
#   native    the portable libraries, velmora-batch and their tests (Linux)
#   windows   the same plus the Windows application, cross-compiled with MinGW-w64
#   sanitize  native, with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan      native, with ThreadSanitizer
#   thread-safety  the libraries and velmora-batch only, unoptimised, compiled by clang with its
#             lock checks (-Wthread-safety): a broken lock rule fails the build
#   bench     native, with the benchmarks
#   fuzz      the libFuzzer targets (clang)
# Options after the flavour: -j N builds with N jobs (default: $VELMORA_JOBS, else one per
# processor); --target NAME builds only that target (repeatable; default: everything); anything
# else goes to cmake's configure step (-DNAME=VALUE).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
flavour="${1:-native}"
shift || true
jobs="${VELMORA_JOBS:-$(nproc)}"
targets=()
configure=()
while [ $# -gt 0 ]; do
  case "$1" in
    -j) jobs="$2"; shift 2 ;;
    -j*) jobs="${1#-j}"; shift ;;
    --target) targets+=(--target "$2"); shift 2 ;;
    *) configure+=("$1"); shift ;;
  esac
done
case "$jobs" in
  ''|*[!0-9]*|0) echo "build.sh: -j needs a count of jobs, not '$jobs'" >&2; exit 2 ;;
esac
dir="$root/build/$flavour"
args=(-G Ninja -S "$root" -B "$dir")
case "$flavour" in
  native) args+=(-DCMAKE_BUILD_TYPE=Release) ;;
  windows) args+=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake") ;;
  sanitize) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON) ;;
  tsan) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON) ;;
  thread-safety) args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DVELMORA_TESTS=OFF
                        -DVELMORA_THREAD_SAFETY=ON -DCMAKE_CXX_COMPILER=clang++
                        -DCMAKE_C_COMPILER=clang) ;;
  bench) args+=(-DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON -DVELMORA_TESTS=OFF) ;;
  fuzz) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF
               -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  *) echo "build.sh: unknown flavour '$flavour'" >&2; exit 2 ;;
esac
cmake "${args[@]}" ${configure[@]+"${configure[@]}"} >/dev/null
cmake --build "$dir" -j "$jobs" ${targets[@]+"${targets[@]}"}
