# Sourced by scripts/bench.sh --wine: the wide run with velmora-batch.exe and velmora-floor.exe
# under Wine (and with --gui the Run button of velmora.exe), from a cross build in build/win-bench.
# Uses: root, work, scratch, runs, quick, gui, bin, say, now, elapsed, median, ratio, fresh,
# make_data.

win="$root/build/win-bench"
cmake -G Ninja -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF -DVELMORA_BENCH=ON >/dev/null
cmake --build "$win" -j "$(nproc)"
source "$root/scripts/wine-env.sh" "$win"
xvfb_pid=""
if [ "$gui" = 1 ]; then
  # One display for the whole Wine session, so that the window can open.
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display"
  sleep 1
fi
velmora_wine_start
trap 'velmora_wine_stop; [ -n "$xvfb_pid" ] && kill "$xvfb_pid"; rm -rf "$scratch"' EXIT

# Wine looks a new file name up by reading the whole folder (its names are matched without regard to
# case), so creating n files in one folder costs time in n squared, for the floor as for the run:
# 10,000 files take about 17 s, 100,000 would take about half an hour per run.
if [ "$quick" = 1 ]; then wine_records=2000; else wine_records=10000; fi
wdata="$(make_data wide "$wine_records" 20 4096)"
wbatch=("$VELMORA_WINE" "$win/cli/velmora-batch.exe" -q -i "Z:$wdata/input.csv"
        -t "Z:$wdata/template.html" -o out "Z:$wdata/settings.ini")
cd "$scratch"
fresh out
"${wbatch[@]}" >wref.log
rm -rf wref && mv out wref && sync
say "== Wine: $wine_records records of 20 fields, 4096-byte template, $(grep -c -- ' -> ok' wref.log) files =="

startup=()
for ((i = 0; i < runs; i++)); do
  t0=$(now); "$VELMORA_WINE" "$win/cli/velmora-batch.exe" --version >/dev/null; t1=$(now)
  startup+=("$(elapsed "$t0" "$t1")")
done
say "Wine start of velmora-batch.exe --version  median $(median "${startup[@]}") s"

# Processor time here is that of the programs under Wine and not the Wine server's, which does
# much of the work of creating a file.
wfloor=() wpipe=() wsingle=() wfloorcpu=() wpipecpu=() wsinglecpu=()
for ((i = 0; i < runs; i++)); do
  order=(floor pipelined single)
  order=("${order[@]:i%3}" "${order[@]:0:i%3}")
  for variant in "${order[@]}"; do
    fresh out
    case "$variant" in
      floor)
        read -r wall cpu < <("$VELMORA_WINE" "$win/bench/velmora-floor.exe" wref.log wref out 2>/dev/null | tr -d '\r')
        wfloor+=("$wall") wfloorcpu+=("$cpu") ;;
      *)
        extra=()
        [ "$variant" = single ] && extra=(--single-thread)
        timed wrun.log "${wbatch[@]}" "${extra[@]}"
        if [ "$i" -lt 3 ] && [ ! -f "wcheck-$variant" ]; then
          cmp -s wrun.log wref.log && diff -rq wref out >/dev/null ||
            { say "MISMATCH: $variant under Wine differs from the reference run"; exit 1; }
          touch "wcheck-$variant"
        fi
        if [ "$variant" = pipelined ]; then wpipe+=("$wall") wpipecpu+=("$cpu")
        else wsingle+=("$wall") wsinglecpu+=("$cpu"); fi
        ;;
    esac
  done
done
mf=$(median "${wfloor[@]}") mp=$(median "${wpipe[@]}") ms=$(median "${wsingle[@]}")
say "floor.exe (write only)              median $mf s, processor $(median "${wfloorcpu[@]}") s   runs: ${wfloor[*]}"
say "velmora-batch.exe                   median $mp s   ratio $(ratio "$mp" "$mf"), processor $(median "${wpipecpu[@]}") s   runs: ${wpipe[*]}"
say "velmora-batch.exe --single-thread   median $ms s   ratio $(ratio "$ms" "$mf"), processor $(median "${wsinglecpu[@]}") s   runs: ${wsingle[*]}"

if [ "$gui" = 1 ]; then
  if [ ! -f "$win/app/velmora.exe" ]; then
    say "The window (velmora.exe) is not built: no Run button figure."
  else
    # The window reads its settings from velmora.ini beside it.
    mkdir -p gui
    cp "$win/app/velmora.exe" gui/
    wout="Z:$scratch/out"
    printf '[Settings]\r\nInput=%s\r\nOutput=%s\r\nTemplate=%s\r\n' \
      "Z:$wdata/input.csv" "${wout//\//\\}" "Z:$wdata/template.html" >gui/velmora.ini
    sed -n '5,$p' "$wdata/settings.ini" >>gui/velmora.ini
    wgui=() wbatch2=()
    for ((i = 0; i < runs; i++)); do
      fresh out
      wgui+=("$("$VELMORA_WINE" "$win/bench/velmora-rundriver.exe" 'gui\velmora.exe' "$wine_records" | tr -d '\r')")
      if [ "$i" = 0 ]; then
        diff -rq wref out >/dev/null || { say "MISMATCH: the window's files differ"; exit 1; }
      fi
      fresh out
      t0=$(now); "${wbatch[@]}" >wrun.log; t1=$(now)
      wbatch2+=("$(elapsed "$t0" "$t1")")
    done
    mg=$(median "${wgui[@]}") mb=$(median "${wbatch2[@]}")
    say "velmora.exe Run button (click to finishing text)  median $mg s   runs: ${wgui[*]}"
    say "velmora-batch.exe on the same data                 median $mb s   ratio window/batch $(ratio "$mg" "$mb")"
  fi
fi
rm -rf out wref wcheck-*
velmora_wine_stop
if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid"; xvfb_pid=""; fi
cd "$root"
