#!/usr/bin/env bash
# Times Marquill's output phase on the generated benchmark document: a template of many
# items through a replacement file (KIND=NORMAL), and the tag listing of every record
# (KIND=CSV) against ToolMqlInputH, which does the same work.
#
# usage: bench/run-output-bench.sh [-d DIR] [-r RUNS] [-i ITEMS_PER_MB] [-n] [SIZE_MB...]
#   SIZE_MB        document sizes in millions of bytes (default: 100 200)
#   -d DIR         keep documents, templates and outputs in DIR (default: a temporary folder, removed at the end)
#   -r RUNS        runs of each command per size (default: 3)
#   -i ITEMS_PER_MB  template items per MB of document (default: 1000, so 100,000 items at 100 MB)
#   -n             do not build; use what build/bin holds
#
# Per size: the document is generated, listed once by ToolMqlInputH, and the template and
# replacement file are made from that listing (mq_bench_template). Then each run times, in
# an order that rotates from run to run: Marquill with the template (NORMAL), Marquill with
# a template without items (the same loading, no lookups), Marquill KIND=CSV, and
# ToolMqlInputH. Every output is deleted before its run; every run must end with exit code
# 0 and a non-empty output. Wall time is taken around the program, peak memory from
# /usr/bin/time -v.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-output-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
dir=""
do_build=1
per_mb=1000

usage() {
  sed -n '6,11s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

while getopts "d:r:i:nh" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    r) runs=$OPTARG ;;
    i) per_mb=$OPTARG ;;
    n) do_build=0 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then
  sizes=(100 200)
fi

is_count() { [[ $1 =~ ^[1-9][0-9]*$ ]]; }
for value in "$runs" "$per_mb" "${sizes[@]}"; do
  is_count "$value" || { echo "run-output-bench: '$value' is not a whole number above 0" >&2; exit 2; }
done
for command in cmake awk; do
  command -v "$command" >/dev/null || { echo "run-output-bench: '$command' is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run-output-bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ "$do_build" -eq 1 ]; then
  bench_build Marquill ToolMqlInputH mq_bench_gen mq_bench_template
fi
marquill="$build/bin/Marquill"
lister="$build/bin/ToolMqlInputH"
generator="$build/bin/mq_bench_gen"
templater="$build/bin/mq_bench_template"
for program in "$marquill" "$lister" "$generator" "$templater"; do
  [ -x "$program" ] || { echo "run-output-bench: $program is missing; build it first" >&2; exit 1; }
done

bench_work_dir "$dir" 180

bench_machine_line
echo "files in $dir; $runs runs per command and size; $per_mb items per MB; 1 MB = 1000000 bytes"
echo

measure() { bench_measure "$dir/stdout.txt" "$@"; }

fail_run() {
  echo "run-output-bench: $1" >&2
  for file in stdout.txt stderr.txt "$2"; do
    [ -f "$dir/$file" ] && { echo "--- $file:" >&2; tail -n 5 "$dir/$file" >&2; }
  done
  exit 1
}

# write_settings NAME KIND TEMPLATE: a settings file for Marquill on the current document.
write_settings() {
  {
    printf '[LOG]\r\nFILENAME=%s\r\nWARLOGOUT=NO\r\n' "$dir/$1.log"
    printf '[OUTFILE]\r\nKIND=%s\r\nOUTFILE=%s\r\n' "$2" "$dir/$1.out"
    printf '[SET]\r\nSTART=<%%\r\nEND=%%>\r\n'
    printf '[INFILE]\r\nCOUNT=1\r\nKIND=HTML\r\nINFILE1=%s\r\n' "$document"
    if [ "$2" != CSV ]; then
      printf '[OUTDEF]\r\nOUTDEF=%s\r\n[REPLACE]\r\nREPDEF=%s\r\n' "$3" "$dir/replace.txt"
    fi
  } >"$dir/$1.ini"
}

# run_command NAME: one timed run of the named command; its figures are added to its lists.
run_command() {
  local name=$1 output
  case "$name" in
    template | loading | csv)
      output="$dir/$name.out"
      rm -f "$output" "$dir/$name.log"
      measure "$marquill" "$dir/$name.ini"
      [ "$status" -eq 0 ] || fail_run "Marquill ($name) ended with exit code $status on $document" "$name.log"
      ;;
    lister)
      output="$dir/listing-run.tsv"
      rm -f "$output"
      measure "$lister" "$document" "$output"
      [ "$status" -eq 0 ] || fail_run "ToolMqlInputH ended with exit code $status on $document"
      ;;
  esac
  [ -s "$output" ] || fail_run "$name wrote nothing for $document"
  eval "${name}_ns+=(\"$wall_ns\"); ${name}_cpu+=(\"$cpu_ns\"); ${name}_kb+=(\"$rss_kb\")"
}

# median of nanosecond figures, in seconds
median_s() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1e9 }'; }
largest_mb() { printf '%s\n' "$@" | sort -n | tail -n 1 | awk '{ printf "%.1f", $1 * 1024 / 1e6 }'; }
list_s() { printf '%s\n' "$@" | awk '{ printf "%s%.3f", (NR > 1 ? " " : ""), $1 / 1e9 }'; }

commands=(template loading csv lister)
labels=("Marquill NORMAL, template" "Marquill NORMAL, no items" "Marquill KIND=CSV" "ToolMqlInputH")
summary=()
for size in "${sizes[@]}"; do
  items=$((size * per_mb))
  document="$dir/bench-${size}mb.html"
  "$generator" "$size" "$document"
  rm -f "$dir/listing.tsv"
  (cd "$dir" && LC_ALL=C.UTF-8 "$lister" "$document" "$dir/listing.tsv" >/dev/null </dev/null)
  "$templater" "$dir/listing.tsv" "$items" "$dir/template.txt" "$dir/replace.txt" >"$dir/made.txt"
  printf 'Output benchmark: no items\r\n' >"$dir/empty-template.txt"
  write_settings template NORMAL "$dir/template.txt"
  write_settings loading NORMAL "$dir/empty-template.txt"
  write_settings csv CSV
  cat "$document" >/dev/null # every program then reads it from the page cache
  template_ns=() template_cpu=() template_kb=() loading_ns=() loading_cpu=() loading_kb=()
  csv_ns=() csv_cpu=() csv_kb=() lister_ns=() lister_cpu=() lister_kb=()
  for ((run = 0; run < runs; run++)); do
    for ((k = 0; k < ${#commands[@]}; k++)); do
      run_command "${commands[(k + run) % ${#commands[@]}]}"
    done
  done
  echo "$size MB: $(cat "$dir/made.txt")"
  echo "  template $(wc -c <"$dir/template.txt") bytes; output $(wc -c <"$dir/template.out") bytes," \
       "$(tr -cd '?' <"$dir/template.out" | wc -c) '?' of missing replacements"
  echo "  CSV output $(wc -c <"$dir/csv.out") bytes, $(wc -l <"$dir/csv.out") lines;" \
       "ToolMqlInputH listing $(wc -c <"$dir/listing-run.tsv") bytes, $(wc -l <"$dir/listing-run.tsv") lines"
  line="$size $items"
  for ((k = 0; k < ${#commands[@]}; k++)); do
    name=${commands[k]}
    eval "ns=(\"\${${name}_ns[@]}\"); cpu=(\"\${${name}_cpu[@]}\"); kb=(\"\${${name}_kb[@]}\")"
    printf '  %-27s wall %s s; cpu %s s\n' "${labels[k]}" "$(list_s "${ns[@]}")" "$(list_s "${cpu[@]}")"
    line+=" $(median_s "${ns[@]}") $(largest_mb "${kb[@]}") $(median_s "${cpu[@]}")"
  done
  summary+=("$line")
done

echo
printf '%s\n' "${summary[@]}" | awk '
  function verdict(value, target) { return value <= target ? "met" : "NOT met" }
  BEGIN {
    split("Marquill NORMAL, template|Marquill NORMAL, no items|Marquill KIND=CSV|ToolMqlInputH", label, "|")
    printf "%-27s %8s %8s %9s %9s %8s %12s\n", "command", "size MB", "items", "wall s", "cpu s", "MB/s", "max RSS MB"
  }
  {
    size[NR] = $1; items[NR] = $2
    for (k = 1; k <= 4; k++) {
      wall[NR, k] = $(3 * k); rss[NR, k] = $(3 * k + 1); cpu[NR, k] = $(3 * k + 2)
      printf "%-27s %8d %8d %9.3f %9.3f %8.1f %12.1f\n", label[k], $1, $2, wall[NR, k], cpu[NR, k], $1 / wall[NR, k], rss[NR, k]
    }
  }
  END {
    printf "(medians of the runs; MB/s from the wall time; max RSS the largest of the runs)\n\n"
    for (i = 1; i <= NR; i++) {
      phase = wall[i, 1] - wall[i, 2]
      printf "%d MB: the %d items take %.3f s beyond loading (template run less the run without items)\n", size[i], items[i], phase
      r = wall[i, 3] / wall[i, 4]
      printf "%d MB: Marquill KIND=CSV / ToolMqlInputH wall time %.3f (target at most 1.20: %s), cpu time %.3f\n", size[i], r, verdict(r, 1.2), cpu[i, 3] / cpu[i, 4]
    }
    for (i = 2; i <= NR; i++) {
      f = size[i] / size[1]; g = wall[i, 1] / wall[1, 1]
      printf "%d MB and %d items against %d MB and %d items (x%.2f): template run wall x%.3f (target at most x%.2f: %s); growth factor %.3f (1.00 is linear); cpu x%.3f\n",
             size[i], items[i], size[1], items[1], f, g, f * 1.1, verdict(g, f * 1.1), g / f, cpu[i, 1] / cpu[1, 1]
      p1 = wall[1, 1] - wall[1, 2]; p2 = wall[i, 1] - wall[i, 2]
      if (p1 > 0) printf "  the items alone: x%.2f\n", p2 / p1
    }
  }'
