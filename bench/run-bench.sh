#!/usr/bin/env bash
# Times ToolMqlInputH against xmllint on the generated Shift-JIS HTML benchmark document.
#
# usage: bench/run-bench.sh [-d DIR] [-r RUNS] [-n] [-t TOOL] [SIZE_MB...]
#   SIZE_MB  document sizes in millions of bytes (default: 10 100)
#   -d DIR   keep the documents and listings in DIR (default: a temporary folder, removed at the end)
#   -r RUNS  runs of each program per size (default: 3)
#   -n       do not build; use what build/bin holds
#   -t TOOL  time TOOL instead of build/bin/ToolMqlInputH (same command line: TOOL in.html out.tsv)
#
# Each run deletes the listing first (the tool would otherwise ask before replacing it),
# runs both programs on the same file one after the other (their order alternates from run
# to run) and requires exit code 0 from both and a non-empty listing from the tool. Wall
# time is taken around the program, peak memory from /usr/bin/time -v.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
dir=""
do_build=1
tool="$build/bin/ToolMqlInputH"

usage() {
  sed -n '4,10s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

while getopts "d:r:nt:h" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    r) runs=$OPTARG ;;
    n) do_build=0 ;;
    t) tool=$(realpath "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then
  sizes=(10 100)
fi

is_count() { [[ $1 =~ ^[1-9][0-9]*$ ]]; }
is_count "$runs" || { echo "run-bench: RUNS must be a whole number above 0, not '$runs'" >&2; exit 2; }
for size in "${sizes[@]}"; do
  is_count "$size" || { echo "run-bench: SIZE_MB must be a whole number above 0, not '$size'" >&2; exit 2; }
done

for command in cmake xmllint awk; do
  command -v "$command" >/dev/null || { echo "run-bench: '$command' is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run-bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ "$do_build" -eq 1 ]; then
  bench_build ToolMqlInputH mq_bench_gen
fi
generator="$build/bin/mq_bench_gen"
tool_name=$(basename "$tool")
for program in "$tool" "$generator"; do
  [ -x "$program" ] || { echo "run-bench: $program is missing; build it first" >&2; exit 1; }
done

bench_work_dir "$dir" 200

bench_machine_line
xmllint --version 2>&1 | sed -n 1p
echo "documents in $dir; $runs runs per program and size; 1 MB = 1000000 bytes"
echo

measure() { bench_measure "$dir/stdout.txt" "$@"; }

fail_run() {
  echo "run-bench: $1" >&2
  echo "--- standard output:" >&2
  cat "$dir/stdout.txt" >&2
  echo "--- standard error:" >&2
  cat "$dir/stderr.txt" >&2
  exit 1
}

run_tool() {
  rm -f "$listing"
  # C.UTF-8 lets the tool show its Shift-JIS messages readably.
  measure env LC_ALL=C.UTF-8 "$tool" "$document" "$listing"
  [ "$status" -eq 0 ] || fail_run "$tool_name ended with exit code $status on $document"
  [ -s "$listing" ] || fail_run "$tool_name wrote no listing for $document"
  tool_ns+=("$wall_ns")
  tool_cpu+=("$cpu_ns")
  tool_kb+=("$rss_kb")
}

run_xmllint() {
  measure xmllint --html --noout --huge "$document"
  [ "$status" -eq 0 ] || fail_run "xmllint ended with exit code $status on $document"
  if [ -s "$dir/stderr.txt" ]; then
    echo "warning: xmllint reported $(wc -l <"$dir/stderr.txt") lines of errors on $document" >&2
  fi
  lint_ns+=("$wall_ns")
  lint_cpu+=("$cpu_ns")
  lint_kb+=("$rss_kb")
}

# median of nanosecond figures, in seconds
median_s() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1e9 }'; }
largest_mb() { printf '%s\n' "$@" | sort -n | tail -n 1 | awk '{ printf "%.1f", $1 * 1024 / 1e6 }'; }
list_s() { printf '%s\n' "$@" | awk '{ printf "%s%.3f", (NR > 1 ? " " : ""), $1 / 1e9 }'; }

summary=()
for size in "${sizes[@]}"; do
  document="$dir/bench-${size}mb.html"
  listing="$dir/bench-${size}mb.tsv"
  "$generator" "$size" "$document"
  cat "$document" >/dev/null # both programs then read it from the page cache
  tool_ns=() tool_cpu=() tool_kb=() lint_ns=() lint_cpu=() lint_kb=()
  for ((run = 1; run <= runs; run++)); do
    if ((run % 2 == 1)); then
      run_tool
      run_xmllint
    else
      run_xmllint
      run_tool
    fi
  done
  records=$(wc -l <"$listing")
  echo "$size MB: listing of $records records, $(wc -c <"$listing") bytes"
  tool_s=$(median_s "${tool_ns[@]}")
  lint_s=$(median_s "${lint_ns[@]}")
  tool_mb=$(largest_mb "${tool_kb[@]}")
  lint_mb=$(largest_mb "${lint_kb[@]}")
  printf '  %-14s wall %s s; cpu %s s\n' "$tool_name" "$(list_s "${tool_ns[@]}")" "$(list_s "${tool_cpu[@]}")"
  printf '  %-14s wall %s s; cpu %s s\n' xmllint "$(list_s "${lint_ns[@]}")" "$(list_s "${lint_cpu[@]}")"
  summary+=("$size $tool_s $tool_mb $lint_s $lint_mb $(median_s "${tool_cpu[@]}") $(median_s "${lint_cpu[@]}")")
done

echo
printf '%s\n' "${summary[@]}" | awk -v tool="$tool_name" '
  function verdict(value, target) { return value <= target ? "met" : "NOT met" }
  function ratio(a, b) { return b > 0 ? a / b : 0 } # CPU times of 0 s happen below 10 ms
  BEGIN {
    printf "%7s | %-41s | %-41s | %-20s\n", "", tool, "xmllint --html --noout --huge", "tool / xmllint"
    printf "%7s | %8s %8s %8s %14s | %8s %8s %8s %14s | %6s %6s %6s\n", "size MB", "wall s", "cpu s", "MB/s",
           "max RSS MB", "wall s", "cpu s", "MB/s", "max RSS MB", "wall", "cpu", "memory"
  }
  {
    size[NR] = $1; tt[NR] = $2; lt[NR] = $4; tc[NR] = $6; lc[NR] = $7
    rt = $2 / $4; rm = $3 / $5
    printf "%7d | %8.3f %8.3f %8.1f %14.1f | %8.3f %8.3f %8.1f %14.1f | %6.3f %6.3f %6.3f\n", $1, $2, $6, $1 / $2, $3,
           $4, $7, $1 / $4, $5, rt, ratio($6, $7), rm
    verdicts = verdicts sprintf("%d MB: wall time %.3f of xmllint (target at most 0.25: %s), peak memory %.3f (target at most 0.50: %s)\n",
                                $1, rt, verdict(rt, 0.25), rm, verdict(rm, 0.5))
  }
  END {
    printf "(medians of the runs; MB/s from the wall time; max RSS the largest of the runs)\n\n%s", verdicts
    if (NR > 1) {
      printf "\nscaling from %d MB (linear growth: time ratio = size ratio, factor 1.00):\n", size[1]
      for (i = 2; i <= NR; i++) {
        f = size[i] / size[1]
        printf "  %d MB, size x%.1f: %s wall x%.2f (factor %.2f), cpu x%.2f (factor %.2f); xmllint wall x%.2f (factor %.2f), cpu x%.2f (factor %.2f)\n",
               size[i], f, tool, tt[i] / tt[1], tt[i] / tt[1] / f, ratio(tc[i], tc[1]), ratio(tc[i], tc[1]) / f,
               lt[i] / lt[1], lt[i] / lt[1] / f, ratio(lc[i], lc[1]), ratio(lc[i], lc[1]) / f
      }
    }
  }'
