#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS on a scratch copy of its seed corpus.
#   bash scripts/fuzz.sh SECONDS [TARGET...]
# Prints each target's closing statistics (executions reached, executions per second); exits
# non-zero when a target finds a fault, leaving the crashing input and the log under build/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:?usage: fuzz.sh SECONDS [TARGET...]}"
shift
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(RecordReaderFuzz ReplaceAllFuzz MergeFuzz SettingsFuzz ExchangeNumberFuzz ManifestFuzz)
fi

bash scripts/build.sh fuzz

failed=0
for target in "${targets[@]}"; do
  program="build/fuzz/tests/fuzz/$target"
  seeds="tests/fuzz/corpus/$target"
  work="build/fuzz/runs/$target"
  if [ ! -x "$program" ]; then
    echo "fuzz.sh: no target '$target'" >&2
    failed=1
    continue
  fi
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$seeds"/* "$work/corpus/" 2>/dev/null || true
  echo "== $target (${seconds}s)"
  if "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" || tail -n 3 "$work/log"
  else
    failed=1
    echo "fuzz.sh: $target failed; log and input in $work" >&2
    tail -n 40 "$work/log" >&2
  fi
done
exit "$failed"
