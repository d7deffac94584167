# Sourced by scripts/bench.sh --memory: peak resident memory of velmora-batch over an input of
# 512 records of one 4 MB field each (2 GB) beside one of 64 such records (256 MB): the peak must
# not grow with the number of records. Then one record of 100 MB alone: the peak must stay under
# three times the record plus the template. Data and output go to build/bench-runs (about 4.6 GB).
# Uses: root, work, bin, say, fresh.

mem_out="$work/memory-out"
for shape in 64:4 512:4 1:100; do
  count=${shape%%:*}
  record_bytes=$((${shape##*:} << 20))
  mdir="$work/data-long-$count"
  [ "$count" = 1 ] && mdir="$work/data-huge-1"
  if [ ! -f "$mdir/settings.ini" ]; then
    mkdir -p "$mdir"
    "$bin/bench/velmora-benchgen" --long-records "$count" --record-bytes "$record_bytes" "$mdir"
  fi
  for variant in pipelined single; do
    extra=()
    [ "$variant" = single ] && extra=(--single-thread)
    fresh "$mem_out"
    /usr/bin/time -f '%M %e' -o "$work/memory-time.txt" "$bin/cli/velmora-batch" -q \
      --code-page 932 -i "$mdir/input.csv" -t "$mdir/template.html" -o "$mem_out" \
      "$mdir/settings.ini" "${extra[@]}" >/dev/null
    read -r peak_kb seconds <"$work/memory-time.txt"
    template_bytes=$(stat -c %s "$mdir/template.html")
    beyond=$(python3 -c "print('%.1f' % (($peak_kb * 1024 - $template_bytes - $record_bytes) / 1048576))")
    times=$(python3 -c "print('%.2f' % (($peak_kb * 1024 - $template_bytes) / $record_bytes))")
    say "memory: $count records x $((record_bytes >> 20)) MB ($(du -sh "$mdir/input.csv" | cut -f1) input), $variant: peak RSS $((peak_kb / 1024)) MB, ${beyond} MB beyond template and longest record, ${times} x the record beside the template, ${seconds} s"
  done
  rm -rf "$mem_out"
done
