#!/usr/bin/env bash
# Times four ways of writing the tag listings of many pages, one listing file per page.
#
# usage: bench/run-batch-bench.sh [-d DIR] [-p PAGES] [-s KB] [-n]
#   -d DIR    keep the pages and listings in DIR (default: a temporary folder, removed at the end)
#   -p PAGES  pages (default: 10000)
#   -s KB     size of a page in KB, about (default: 20)
#   -n        do not build; use what build/ holds
#
# The ways, one after the other on the same pages (bench/make-pages.py, Shift-JIS HTML):
# a shell loop starting ToolMqlInputH once per page; GNU parallel running it with 2 jobs; the
# Python module in one process (a loop of marquill.listing writing the files); and
# examples/dask_listing.py on a local cluster of 2 worker processes. Every way must end with
# exit code 0 and write the same listing files as the shell loop. Wall time is taken around
# the whole command (for Dask with the cluster's start and stop, and also its listing alone,
# as the example reports it). The ways write some 600 MB of listings each: on a slow disk a
# folder in memory (-d /dev/shm/batch) shows the programs' costs rather than the disk's.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-batch-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
dir=""
pages=10000
size=20
do_build=1
python=/usr/bin/python3

usage() {
  sed -n '4,8s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

while getopts "d:p:s:nh" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    p) pages=$OPTARG ;;
    s) size=$OPTARG ;;
    n) do_build=0 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 0 ] || usage

is_count() { [[ $1 =~ ^[1-9][0-9]*$ ]]; }
is_count "$pages" || { echo "run-batch-bench: PAGES must be a whole number above 0, not '$pages'" >&2; exit 2; }
is_count "$size" || { echo "run-batch-bench: KB must be a whole number above 0, not '$size'" >&2; exit 2; }

for command in cmake parallel awk diff; do
  command -v "$command" >/dev/null || { echo "run-batch-bench: '$command' is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run-batch-bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }
"$python" -c 'import distributed' 2>/dev/null ||
  { echo "run-batch-bench: $python cannot import distributed (Debian package python3-distributed)" >&2; exit 1; }

if [ "$do_build" -eq 1 ]; then
  bench_build ToolMqlInputH mq_bench_gen marquill_python
fi
tool="$build/bin/ToolMqlInputH"
for program in "$tool" "$build/bin/mq_bench_gen"; do
  [ -x "$program" ] || { echo "run-batch-bench: $program is missing; build it first" >&2; exit 1; }
done
ls "$build"/python/marquill.*.so >/dev/null 2>&1 ||
  { echo "run-batch-bench: the Python module is missing in $build/python; build it first" >&2; exit 1; }
export PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}"

bench_work_dir "$dir" 200
rm -rf "$dir/pages" "$dir"/out-*
"$python" "$root/bench/make-pages.py" --size "$size" --generator "$build/bin/mq_bench_gen" "$pages" "$dir/pages"
cat "$dir"/pages/*.html >/dev/null # every way reads them from the page cache

bench_machine_line
echo "$pages pages of $(du -sb "$dir/pages" | awk -v n="$pages" '{ printf "%.1f", $1 / n / 1000 }') KB on average in $dir/pages; one run of each way"
echo

fail_run() {
  echo "run-batch-bench: $1" >&2
  echo "--- standard error:" >&2
  tail -n 20 "$dir/stderr.txt" >&2
  exit 1
}

results=()
# run_way NAME OUTPUT COMMAND...: times the command and checks its listings.
run_way() {
  local name=$1 out=$2 made
  shift 2
  mkdir -p "$out"
  # Every way starts with the listings of the one before on the disk, not waiting to be written.
  sync
  bench_measure "$dir/stdout.txt" "$@"
  [ "$status" -eq 0 ] || fail_run "$name ended with exit code $status"
  made=$(find "$out" -name '*.tsv' | wc -l)
  [ "$made" -eq "$pages" ] || fail_run "$name wrote $made listings, not $pages"
  if [ "$out" != "$dir/out-loop" ]; then
    diff -rq -x failures.txt "$dir/out-loop" "$out" >/dev/null || fail_run "$name wrote listings that differ from the shell loop's"
  fi
  results+=("$name|$wall_ns|$cpu_ns")
  printf '%-28s wall %.2f s, cpu %.2f s\n' "$name" "$(awk -v n="$wall_ns" 'BEGIN { print n / 1e9 }')" \
    "$(awk -v n="$cpu_ns" 'BEGIN { print n / 1e9 }')"
}

# The commands run in $dir with the tool as $1.
# shellcheck disable=SC2016
run_way "shell loop, ToolMqlInputH" "$dir/out-loop" bash -c '
  for page in pages/*.html; do
    name=${page##*/}
    "$1" "$page" "out-loop/${name%.html}.tsv" >/dev/null || exit 1
  done' loop "$tool"

# shellcheck disable=SC2016
run_way "GNU parallel -j2" "$dir/out-parallel" bash -c '
  ls pages | grep "\.html$" | parallel --will-cite -j2 --halt now,fail=1 "$1" pages/{} out-parallel/{.}.tsv >/dev/null' \
  parallel "$tool"

run_way "Python module, 1 process" "$dir/out-module" "$python" -c '
import os, sys
import marquill
names = sorted(name for name in os.listdir("pages") if name.endswith(".html"))
for name in names:
    with open(os.path.join("pages", name), "rb") as page:
        listing = marquill.listing(page.read())
    with open(os.path.join("out-module", name[:-5] + ".tsv"), "wb") as out:
        out.write(listing)
'

run_way "Dask, 2 workers" "$dir/out-dask" "$python" "$root/examples/dask_listing.py" --workers 2 pages out-dask
# The workers come from a fork server that is not the command's child: their CPU time is not
# the command's.
results[${#results[@]} - 1]="Dask, 2 workers|$wall_ns|0"
cp "$dir/stdout.txt" "$dir/dask-report.txt"
grep -q "failed 0, " "$dir/dask-report.txt" || fail_run "Dask listed pages with failures: $(cat "$dir/dask-report.txt")"
# The example's own figure: the listing, without the cluster's start and stop.
dask_listing_s=$(sed -n 's/.* s in all, \([0-9.]*\) s listing.*/\1/p' "$dir/dask-report.txt")
results+=("Dask, listing only|$(awk -v s="$dask_listing_s" 'BEGIN { printf "%.0f", s * 1e9 }')|0")

echo
printf '%s\n' "${results[@]}" | awk -F'|' -v pages="$pages" '
  function verdict(value, target) { return value >= target ? "met" : "NOT met" }
  {
    name[NR] = $1; wall[NR] = $2 / 1e9; cpu[NR] = $3 / 1e9
  }
  END {
    printf "%-28s | %8s | %8s | %9s | %9s | %9s\n", "way", "wall s", "cpu s", "pages/s", "x loop", "x module"
    for (i = 1; i <= NR; i++) {
      rate[i] = pages / wall[i]
      shown = cpu[i] > 0 ? sprintf("%.2f", cpu[i]) : "-"
      printf "%-28s | %8.2f | %8s | %9.0f | %9.2f | %9.2f\n", name[i], wall[i], shown,
             rate[i], rate[i] / (pages / wall[1]), rate[i] / (pages / wall[3])
    }
    printf "(pages/s from the wall time; cpu is user plus system of the command and its children, not known for Dask)\n\n"
    printf "module in one process: %.2f x the shell loop (target at least 5: %s)\n", rate[3] / rate[1],
           verdict(rate[3] / rate[1], 5)
    printf "Dask with 2 workers:   %.2f x the module alone, whole run (target at least 1.7: %s); %.2f x, listing only (%s)\n",
           rate[4] / rate[3], verdict(rate[4] / rate[3], 1.7), rate[5] / rate[3], verdict(rate[5] / rate[3], 1.7)
  }'
