#!/usr/bin/env bash
# Wall time, MB/s of input and peak memory of the four big-document jobs, beside the I/O floor
# of the same job and (up to 100 MB) xmllint, in one run.
#
# usage: bench/run-stream-bench.sh [-d DIR] [-r RUNS] [-i ITEMS] [-n] [-b BIN] [SIZE_MB...]
#   SIZE_MB  page sizes in millions of bytes (default: 100 1000)
#   -d DIR   keep the pages and outputs in DIR (default: a temporary folder, removed at the end)
#   -r RUNS  runs of each job per size; the median is shown (default: 1)
#   -i ITEMS items of the fill's template (default: 100000)
#   -n       do not build; use what build/bin holds
#   -b BIN   run the programs of BIN instead of build/bin (another build, to compare)
#
# The jobs: the classic listing (ToolMqlInputH), the standard parser's listing (/s), Marquill's
# KIND=CSV output and Marquill filling a template of ITEMS items. The I/O floor of a job reads
# the page with cat and writes as many bytes as the job wrote with head, nothing else: what
# any program doing the job must at least spend. xmllint --html --noout parses the page and
# writes nothing; it runs for pages of 100 MB or less. Every run, job or floor, starts after a
# sync, so that none pays for the writing back of the one before. The jobs run in rounds, one
# run of each a round, and the CSV output and the fill are also given over the classic
# listing of their round.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-stream-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
dir=""
runs=1
items=100000
do_build=1
other_bin=""

usage() {
  sed -n '4,11s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

while getopts "d:r:i:nb:h" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    r) runs=$OPTARG ;;
    i) items=$OPTARG ;;
    n) do_build=0 ;;
    b) other_bin=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1000)
for value in "$runs" "$items" "${sizes[@]}"; do
  [[ $value =~ ^[1-9][0-9]*$ ]] || { echo "run-stream-bench: '$value' is not a whole number above 0" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "run-stream-bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ "$do_build" -eq 1 ]; then
  bench_build Marquill ToolMqlInputH mq_bench_gen mq_bench_template
fi
bench_work_dir "$dir" 180
bin="$build/bin"
tools_bin=${other_bin:-$bin}
have_xmllint=0
command -v xmllint >/dev/null && have_xmllint=1

bench_machine_line
echo "files in $dir; $runs run(s) per job; 1 MB = 1000000 bytes; peak memory in MiB"
echo

# Every run starts with the bytes of the one before on disk: what the run before left to be
# written back (up to gigabytes) would otherwise be written while the next one runs.
settle() { sync; }

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# run_job K: runs job K of the page once (see jobs below).
run_job() {
  case $1 in
    0) bench_measure "$dir/stdout.txt" "$tools_bin/ToolMqlInputH" "$document" "$dir/classic.tsv" ;;
    1) bench_measure "$dir/stdout.txt" "$tools_bin/ToolMqlInputH" /s "$document" "$dir/standard.tsv" ;;
    2) bench_measure "$dir/stdout.txt" "$tools_bin/Marquill" "$dir/CSV.ini" ;;
    3) bench_measure "$dir/stdout.txt" "$tools_bin/Marquill" "$dir/NORMAL.ini" ;;
    4) bench_measure "$dir/stdout.txt" xmllint --html --noout --huge "$document" ;;
  esac
}

# Runs every job of the page RUNS times, in rounds: each round runs the jobs one after
# another, each run followed by its I/O floor. This machine's speed swings within minutes: a
# floor beside each run, and the listing in the same round as the CSV output and the fill,
# meet them at the same speed. The three take turns at the head of the round, and xmllint,
# whose 2 GB leave the next run slower, is followed by the /s listing. Prints a line a job: the
# medians of its walls, of the floors, of each run's wall over the floor after it and, for
# the CSV output and the fill, of each run's wall over the classic listing's in its round.
run_jobs() {
  local -a walls=() peaks=() floors=() ratios=() listed=() written=() round=() order=()
  local run k output
  for ((run = 0; run < runs; run++)); do
    case $((run % 3)) in
      0) order=(0 2 3) ;;
      1) order=(2 3 0) ;;
      2) order=(3 0 2) ;;
    esac
    [ "${#jobs[@]}" -gt 4 ] && order+=(4)
    order+=(1)
    for k in "${order[@]}"; do
      output=${outputs[k]}
      [ -n "$output" ] && rm -f "$output"
      settle
      run_job "$k"
      [ "$status" -eq 0 ] || { echo "run-stream-bench: ${jobs[k]} ended with exit code $status" >&2; tail -n 3 "$dir/stderr.txt" >&2; exit 1; }
      walls[k]+=" $wall_ns"
      peaks[k]+=" $rss_kb"
      round[k]=$wall_ns
      written[k]=0
      # Gigabytes of output left in the page cache would make the next job's writes wait
      # for memory to be reclaimed.
      if [ -n "$output" ]; then
        written[k]=$(stat -c %s "$output")
        rm -f "$output"
      fi
      local job_wall=$wall_ns
      settle
      bench_measure "$dir/stdout.txt" sh -c "cat '$document' >/dev/null && head -c ${written[k]} /dev/zero >'$dir/floor.out'"
      rm -f "$dir/floor.out"
      floors[k]+=" $wall_ns"
      ratios[k]+=" $(awk -v w="$job_wall" -v f="$wall_ns" 'BEGIN { printf "%.4f", w / f }')"
    done
    for k in 2 3; do
      listed[k]+=" $(awk -v w="${round[k]}" -v l="${round[0]}" 'BEGIN { printf "%.4f", w / l }')"
    done
  done
  for k in "${!jobs[@]}"; do
    # shellcheck disable=SC2086 # the lists are words
    awk -v n="${jobs[k]}" -v w="$(median ${walls[k]})" -v p="$(median ${peaks[k]})" -v s="$size" \
        -v f="$(median ${floors[k]})" -v r="$(median ${ratios[k]})" -v o="${written[k]}" \
        -v l="$([ -n "${listed[k]:-}" ] && median ${listed[k]})" 'BEGIN {
      printf "  %-22s %8.2f s %8.1f MB/s %8.1f MiB   floor %6.2f s (x%.2f)   output %.1f MB", n, w / 1e9,
             s / 1e6 / (w / 1e9), p / 1024, f / 1e9, r, o / 1e6
      if (l != "") printf "   listing x%.2f", l
      printf "\n" }'
  done
}

for size_mb in "${sizes[@]}"; do
  document="$dir/page-${size_mb}mb.html"
  [ -f "$document" ] || "$bin/mq_bench_gen" "$size_mb" "$document"
  size=$(stat -c %s "$document")
  # The fill's template and replacement file, made from the page's own listing.
  listing="$dir/listing-${size_mb}mb.tsv"
  rm -f "$listing"
  (cd "$dir" && "$bin/ToolMqlInputH" "$document" "$listing" >/dev/null </dev/null)
  "$bin/mq_bench_template" "$listing" "$items" "$dir/template.txt" "$dir/replace.txt" >/dev/null
  rm -f "$listing"
  for kind in CSV NORMAL; do
    {
      printf '[LOG]\r\nFILENAME=%s\r\nWARLOGOUT=NO\r\n' "$dir/$kind.log"
      printf '[OUTFILE]\r\nKIND=%s\r\nOUTFILE=%s\r\n' "$kind" "$dir/$kind.out"
      printf '[SET]\r\nSTART=<%%\r\nEND=%%>\r\n[INFILE]\r\nCOUNT=1\r\nKIND=HTML\r\nINFILE1=%s\r\n' "$document"
      printf '[OUTDEF]\r\nOUTDEF=%s\r\n[REPLACE]\r\nREPDEF=%s\r\n' "$dir/template.txt" "$dir/replace.txt"
    } >"$dir/$kind.ini"
  done
  cat "$document" >/dev/null  # every job then reads it from the page cache
  echo "$size_mb MB page ($size bytes):"
  # The jobs as run_job runs them, and the file each writes ("" none).
  jobs=("classic listing" "/s listing" "CSV output" "fill, $items items")
  outputs=("$dir/classic.tsv" "$dir/standard.tsv" "$dir/CSV.out" "$dir/NORMAL.out")
  if [ "$have_xmllint" -eq 1 ] && [ "$size_mb" -le 100 ]; then
    jobs+=("xmllint --html")
    outputs+=("")
  fi
  run_jobs
  echo
done
