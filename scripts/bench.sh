#!/usr/bin/env bash
# Benchmarks. Never part of the tests' pass or fail.
#
#   bash scripts/bench.sh [--quick] [--runs N] [--dir DIR] [--no-kernels] [--no-native]
#                         [--no-narrow] [--no-changed] [--no-choices] [--no-close-scan] [--wine]
#                         [--gui] [--memory]
#
# kernels   SplitFields, ReplaceAll, the merge of one record, the batch command's text check of
#           one record and the load of a 16 MB settings file (Google Benchmark, bytes/s and
#           records/s)
# native    whole runs of velmora-batch (default jobs and --single-thread) beside the file-system
#           floors: velmora-floor writes the same bytes into the same names and does nothing
#           else, on one thread and on one thread per processor (the parallel floor)
#             wide    100,000 records of 20 fields, 4 KB template, naming by field 0
#             narrow  1,000,000 records of 3 fields, 200-byte template, naming by field 0
#           (--quick: 10,000 and 100,000 records; --no-narrow: wide alone). Runs are interleaved (floor, parallel floor,
#           default, single-thread, in rotating order) and each figure is the median of N runs (5).
# choices   a run that chooses records and writes grouped lists: the wide data with two columns
#           put in front (a kind, one of ten, and a flag that six records in seven carry),
#           --where on the flag, --name-template into a folder per kind with --make-folders, and
#           --list with one list per kind, beside the same run's pages alone (no --list) and a
#           plain run of every record named by the same field (--quick: 10,000 records); median
#           of N runs each, interleaved
# close-scan  the close of a new file made slow as a virus scanner makes it on Windows: the
#           preloaded bench/CloseScan.cpp sleeps 2 ms in close() of every file written in the
#           output folder; 2,000 records of the wide kind, default jobs against --single-thread
# changed   a second run with --changed-only over the 100,000 unchanged files of the wide run,
#           beside a full rewrite of the same files (--quick: 10,000); median of N runs each,
#           interleaved
# --wine    the wide run with velmora-batch.exe and velmora-floor.exe under Wine, 10,000 records
#           (Wine creates files in time quadratic in the files of a folder; see bench/wine-runs.sh)
# --gui     the Run button of velmora.exe under Wine on the same data, beside velmora-batch.exe
# --memory  peak resident memory of a 2 GB input of 512 records of one 4 MB field each, beside a
#           256 MB input of the same records, and of one record of 100 MB alone (needs about
#           4.6 GB of disk in build/)
#
# velmora-batch is timed from outside, process start to exit; the floor times only its writing.
# Every whole run reports its processor time (user and system, all threads) beside its wall time:
# on a machine shared with other work the wall time swings with the load, the processor time far
# less, so the processor time is the figure to compare.
# Every variant writes into the same, freshly emptied folder; sync runs before each measurement.
# The output folders are made in DIR, by default a folder in /dev/shm: a memory file system keeps
# the file system's own work (names, inodes, copies) and leaves out the disk, whose speed on a
# shared virtual machine swings by a factor of 20 from one run to the next. --dir build/x measures
# on the disk instead.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

quick=0 runs=5 kernels=1 native=1 narrow=1 changed=1 choices=1 closescan=1 wine=0 gui=0 memory=0 dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --runs) runs="$2"; shift ;;
    --dir) dir="$2"; shift ;;
    --no-kernels) kernels=0 ;;
    --no-native) native=0 ;;
    --no-narrow) narrow=0 ;;
    --no-changed) changed=0 ;;
    --no-choices) choices=0 ;;
    --no-close-scan) closescan=0 ;;
    --wine) wine=1 ;;
    --gui) gui=1; wine=1 ;;
    --memory) memory=1 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

bash scripts/setup.sh
bash scripts/build.sh bench
bin="$root/build/bench"
work="$root/build/bench-runs"
mkdir -p "$work"
if [ -z "$dir" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then dir=/dev/shm; else dir="$work"; fi
fi
scratch="$(mkdir -p "$dir" && cd "$dir" && pwd)/velmora-bench.$$"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
results="$work/results-$(date -u +%Y%m%d-%H%M%S).txt"

say() { echo "$*" | tee -a "$results"; }
now() { date +%s.%N; }
median() { python3 -c 'import sys, statistics; print("%.3f" % statistics.median(float(a) for a in sys.argv[1:]))' "$@"; }
ratio() { python3 -c 'import sys; print("%.3f" % (float(sys.argv[1]) / float(sys.argv[2])))' "$1" "$2"; }
fresh() { rm -rf "$1"; mkdir -p "$1"; sync; }
elapsed() { python3 -c "print($2 - $1)"; }
# timed LOG COMMAND...: runs COMMAND with its output into LOG and sets wall and cpu, its wall time
# and its processor time (user and system, of the process and its threads) in seconds.
timed() {
  local log="$1" TIMEFORMAT='%R %U %S' times user system
  shift
  times=$( { time "$@" >"$log" 2>&4; } 4>&2 2>&1 )
  read -r wall user system <<<"$times"
  cpu=$(python3 -c "print('%.3f' % ($user + $system))")
}

# make_data NAME RECORDS FIELDS TEMPLATE_BYTES: the data folder of one whole run, made once.
make_data() {
  local dir="$work/data-$1-$2"
  if [ ! -f "$dir/settings.ini" ]; then
    mkdir -p "$dir"
    "$bin/bench/velmora-benchgen" --records "$2" --fields "$3" --template-bytes "$4" "$dir"
  fi
  echo "$dir"
}

# batch_for DATA: the velmora-batch command of a data folder, writing into out, in the array batch.
batch_for() {
  batch=("$bin/cli/velmora-batch" -q --code-page 932 -i "$1/input.csv" -t "$1/template.html"
         -o out "$1/settings.ini")
}

if [ "$kernels" = 1 ]; then
  say "== kernels (bytes per second) =="
  "$bin/bench/velmora-kernels" --benchmark_min_time=0.2 2>/dev/null | tee -a "$results"
fi

# whole_runs NAME RECORDS FIELDS TEMPLATE_BYTES: native velmora-batch beside the floor.
whole_runs() {
  local name="$1" data
  data="$(make_data "$@")"
  local batch
  batch_for "$data"
  cd "$scratch"
  # The reference run: its files and log are what every variant must give, byte for byte.
  fresh out
  "${batch[@]}" >ref.log
  rm -rf ref && mv out ref && sync
  local files
  files=$(grep -c -- ' -> ok' ref.log || true)
  say "== $name: $2 records of $3 fields, $4-byte template, $files files, $(du -sm ref | cut -f1) MB =="
  local floor=() pfloor=() pipelined=() single=() i variant wall cpu
  local floorcpu=() pfloorcpu=() pipelinedcpu=() singlecpu=()
  for ((i = 0; i < runs; i++)); do
    local order=(floor pfloor pipelined single)
    order=("${order[@]:i%4}" "${order[@]:0:i%4}")
    for variant in "${order[@]}"; do
      fresh out
      case "$variant" in
        floor)
          read -r wall cpu < <("$bin/bench/velmora-floor" ref.log ref out 2>/dev/null)
          floor+=("$wall") floorcpu+=("$cpu") ;;
        pfloor)
          read -r wall cpu < <("$bin/bench/velmora-floor" --threads "$(nproc)" ref.log ref out 2>/dev/null)
          pfloor+=("$wall") pfloorcpu+=("$cpu") ;;
        pipelined|single)
          local extra=()
          [ "$variant" = single ] && extra=(--single-thread)
          timed run.log "${batch[@]}" "${extra[@]}"
          if [ "$variant" = pipelined ]; then pipelined+=("$wall") pipelinedcpu+=("$cpu")
          else single+=("$wall") singlecpu+=("$cpu"); fi
          # The first run of each variant proves it gives the reference's log and files.
          if [ "$i" -lt 3 ] && [ ! -f "check-$variant-$name" ]; then
            cmp -s run.log ref.log && diff -rq ref out >/dev/null ||
              { say "MISMATCH: $variant differs from the reference run"; exit 1; }
            touch "check-$variant-$name"
          fi
          ;;
      esac
    done
  done
  rm -f check-*-"$name"
  local mf mpf mp ms cf cpf cp cs
  mf=$(median "${floor[@]}") mpf=$(median "${pfloor[@]}") mp=$(median "${pipelined[@]}")
  ms=$(median "${single[@]}")
  cf=$(median "${floorcpu[@]}") cpf=$(median "${pfloorcpu[@]}") cp=$(median "${pipelinedcpu[@]}")
  cs=$(median "${singlecpu[@]}")
  say "machine load: $(uptime | sed 's/.*load average/load average/')"
  say "floor (write only)        median $mf s, processor $cf s   runs: ${floor[*]}   processor: ${floorcpu[*]}"
  say "parallel floor ($(nproc) threads) median $mpf s, processor $cpf s   runs: ${pfloor[*]}   processor: ${pfloorcpu[*]}"
  say "velmora-batch             median $mp s   ratio $(ratio "$mp" "$mf"), to the parallel floor $(ratio "$mp" "$mpf");   processor $cp s, ratio $(ratio "$cp" "$cf")   runs: ${pipelined[*]}   processor: ${pipelinedcpu[*]}"
  say "velmora-batch --single-thread median $ms s   ratio $(ratio "$ms" "$mf");   processor $cs s, ratio $(ratio "$cs" "$cf")   runs: ${single[*]}   processor: ${singlecpu[*]}"
  rm -rf out ref
  cd "$root"
}

if [ "$native" = 1 ]; then
  if [ "$quick" = 1 ]; then
    whole_runs wide 10000 20 4096
    [ "$narrow" = 0 ] || whole_runs narrow 100000 3 200
  else
    whole_runs wide 100000 20 4096
    [ "$narrow" = 0 ] || whole_runs narrow 1000000 3 200
  fi
fi

# changed_runs NAME RECORDS FIELDS TEMPLATE_BYTES: over files that already hold their bytes, a
# run with --changed-only beside a plain run that rewrites every one of them.
changed_runs() {
  local name="$1" data
  data="$(make_data "$@")"
  local batch
  batch_for "$data"
  cd "$scratch"
  fresh out
  "${batch[@]}" >ref.log
  local files
  files=$(grep -c -- ' -> ok' ref.log || true)
  say "== unchanged files: $2 records of $3 fields, $4-byte template, $files files, $(du -sm out | cut -f1) MB =="
  local rewrite=() changed=() rewritecpu=() changedcpu=() i variant wall cpu
  for ((i = 0; i < runs; i++)); do
    local order=(rewrite changed)
    order=("${order[@]:i%2}" "${order[@]:0:i%2}")
    for variant in "${order[@]}"; do
      sync
      if [ "$variant" = rewrite ]; then
        timed run.log "${batch[@]}"
        rewrite+=("$wall") rewritecpu+=("$cpu")
      else
        timed run.log "${batch[@]}" --changed-only
        changed+=("$wall") changedcpu+=("$cpu")
        # Every file must have been left alone, and the log be the plain run's otherwise.
        sed 's/ -> unchanged\r$/ -> ok\r/' run.log | cmp -s - ref.log ||
          { say "MISMATCH: the changed-only log differs from the plain run's"; exit 1; }
      fi
    done
  done
  local unchanged mr mc cr cc
  unchanged=$(grep -c -- ' -> unchanged' run.log || true)
  mr=$(median "${rewrite[@]}") mc=$(median "${changed[@]}")
  cr=$(median "${rewritecpu[@]}") cc=$(median "${changedcpu[@]}")
  say "full rewrite              median $mr s, processor $cr s   runs: ${rewrite[*]}   processor: ${rewritecpu[*]}"
  say "--changed-only            median $mc s   ratio $(ratio "$mc" "$mr"), processor $cc s   unchanged: $unchanged   runs: ${changed[*]}   processor: ${changedcpu[*]}"
  rm -rf out
  cd "$root"
}

if [ "$changed" = 1 ]; then
  if [ "$quick" = 1 ]; then
    changed_runs wide 10000 20 4096
  else
    changed_runs wide 100000 20 4096
  fi
fi

# close_scan_runs RECORDS: default jobs against --single-thread with every close of a new file
# made slow by the preloaded scanner model.
close_scan_runs() {
  local data
  data="$(make_data wide "$1" 20 4096)"
  local batch
  batch_for "$data"
  cd "$scratch"
  fresh out
  "${batch[@]}" >ref.log
  rm -rf ref && mv out ref
  say "== close-scan model: $1 records, close() of a new file sleeps 2 ms =="
  local threaded=() single=() threadedcpu=() singlecpu=() i variant wall cpu
  for ((i = 0; i < runs; i++)); do
    local order=(threaded single)
    order=("${order[@]:i%2}" "${order[@]:0:i%2}")
    for variant in "${order[@]}"; do
      fresh out
      local extra=()
      [ "$variant" = single ] && extra=(--single-thread)
      timed run.log env LD_PRELOAD="$bin/bench/libvelmora-closescan.so" \
        VELMORA_SCAN_DIR="$scratch/out" VELMORA_SCAN_MS=2 "${batch[@]}" "${extra[@]}"
      if [ "$variant" = threaded ]; then threaded+=("$wall") threadedcpu+=("$cpu")
      else single+=("$wall") singlecpu+=("$cpu"); fi
      cmp -s run.log ref.log && diff -rq ref out >/dev/null ||
        { say "MISMATCH: $variant differs from the reference run"; exit 1; }
    done
  done
  local mt ms ct cs
  mt=$(median "${threaded[@]}") ms=$(median "${single[@]}")
  ct=$(median "${threadedcpu[@]}") cs=$(median "${singlecpu[@]}")
  say "velmora-batch --single-thread median $ms s, processor $cs s   runs: ${single[*]}"
  say "velmora-batch (default jobs)  median $mt s   ratio $(ratio "$mt" "$ms"), processor $ct s   runs: ${threaded[*]}"
  rm -rf out ref
  cd "$root"
}

# choice_runs RECORDS: the run with --where, a name template and grouped lists, beside its pages
# alone and a plain run, over the wide data with a kind and a flag put in front of each record.
choice_runs() {
  local data dir="$work/data-choices-$1"
  data="$(make_data wide "$1" 20 4096)"
  if [ ! -f "$dir/input.csv" ]; then
    mkdir -p "$dir"
    # Records end at CR LF; the line breaks inside fields are LF alone.
    python3 - "$data/input.csv" "$dir/input.csv" <<'PY'
import sys
records = open(sys.argv[1], 'rb').read().split(b'\r\n')[:-1]
with open(sys.argv[2], 'wb') as out:
    for i, record in enumerate(records):
        out.write(b'k%d,%s,' % (i % 10, b'n' if i % 7 == 0 else b'y') + record + b'\r\n')
PY
    printf '<ul>\r\n[$_#rows_$]<li><a href="../[$_#file_$]">[$_2_$]</a> [$_5_$]</li>\r\n[$_#end_$]</ul>\r\n' >"$dir/list.html"
  fi
  local base=("$bin/cli/velmora-batch" -q --code-page 932 -i "$dir/input.csv"
              -t "$data/template.html" -o out "$data/settings.ini")
  local chosen=(--where 1=y --name-template '[$_0_$]/[$_2_$].html' --make-folders)
  local grouped=(--list "$dir/list.html" --list-output '[$_0_$]/index.html')
  cd "$scratch"
  say "== choices: $1 records of 22 fields, --where, a name template, lists per kind =="
  # Wall time, and the processor time (user and system) that a busy shared machine disturbs less.
  local -A wall=() cpu=()
  local i variant
  for ((i = 0; i < runs; i++)); do
    local order=(plain pages lists)
    order=("${order[@]:i%3}" "${order[@]:0:i%3}")
    for variant in "${order[@]}"; do
      fresh out
      local extra=()
      case "$variant" in
        plain) extra=(--name-field 2) ;;
        pages) extra=("${chosen[@]}") ;;
        lists) extra=("${chosen[@]}" "${grouped[@]}") ;;
      esac
      /usr/bin/time -f '%e %U %S' -o time.txt "${base[@]}" "${extra[@]}" >run.log
      wall[$variant]+=" $(cut -d' ' -f1 time.txt)"
      cpu[$variant]+=" $(awk '{ print $2 + $3 }' time.txt)"
      if [ "$variant" = lists ] && [ "$(grep -c -- '/index.html -> ok' run.log)" != 10 ]; then
        say "MISMATCH: the run with lists did not write ten lists"; exit 1
      fi
    done
  done
  for variant in plain pages lists; do
    # shellcheck disable=SC2086
    say "$variant: wall median $(median ${wall[$variant]}) s, processor median $(median ${cpu[$variant]}) s   wall runs:${wall[$variant]}"
  done
  # shellcheck disable=SC2086
  say "lists to pages alone: wall $(ratio "$(median ${wall[lists]})" "$(median ${wall[pages]})"), processor $(ratio "$(median ${cpu[lists]})" "$(median ${cpu[pages]})"); to the plain run: wall $(ratio "$(median ${wall[lists]})" "$(median ${wall[plain]})")"
  rm -rf out
  cd "$root"
}

if [ "$choices" = 1 ]; then
  if [ "$quick" = 1 ]; then choice_runs 10000; else choice_runs 100000; fi
fi

if [ "$closescan" = 1 ] && [ -f "$bin/bench/libvelmora-closescan.so" ]; then
  close_scan_runs 2000
fi

if [ "$wine" = 1 ]; then
  source "$root/bench/wine-runs.sh"
fi

if [ "$memory" = 1 ]; then
  source "$root/bench/memory-run.sh"
fi

echo "Results in $results"
