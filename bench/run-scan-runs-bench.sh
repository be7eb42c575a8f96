#!/usr/bin/env bash
# Times ToolMqlInputH on pages made of one long run of a byte that a scanner state loops on
# (blanks before a value, a value, a text, names, comments, declarations), each at two sizes,
# beside a plain copy of the same page: the time per MB must not grow with the run.
#
# usage: bench/run-scan-runs-bench.sh [-r RUNS] [-n] [SIZE_MB SIZE_MB]
#   SIZE_MB  the two page sizes in millions of bytes (default: 2 8)
#   -r RUNS  runs per page (default: 3)
#   -n       do not build; use what build/bin holds
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-scan-runs-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
do_build=1

while getopts "r:nh" option; do
  case "$option" in
    r) runs=$OPTARG ;;
    n) do_build=0 ;;
    *) sed -n '6,9s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
small=${1:-2}
large=${2:-8}
[ -x /usr/bin/time ] || { echo "$bench_name: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }
[ "$do_build" -eq 0 ] || bench_build ToolMqlInputH
tool="$build/bin/ToolMqlInputH"
bench_work_dir "" 200
bench_machine_line

# name, bytes before the run, the byte of the run, bytes after it
cases=(
  "blanks-before-value|<p><a x=| |\"v\">t</a></p>"
  "unquoted-value|<p><a x=|v|>t</a></p>"
  "quoted-value|<p><a x=\"|v|\">t</a></p>"
  "text|<p>|a|</p>"
  "blanks-in-text|<p>| |x</p>"
  "tag-name|<|a|>"
  "option-name|<p |a|>"
  "end-tag-name|<p></|a|>"
  "blanks-after-name|<p| |>"
  "comment-dashes|<!--|-|-->"
  "declaration-brackets|<!DOCTYPE |[|]>"
)

# make_page FILE MB BEFORE BYTE AFTER
make_page() {
  local bytes=$(($2 * 1000000 - ${#3} - ${#5}))
  { printf '%s' "$3"; head -c "$bytes" /dev/zero | tr '\0' "$4"; printf '%s' "$5"; } >"$1"
}

median_s() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] / 1e9 }'; }

time_page() {
  local page=$1 times=() copy=()
  for ((run = 1; run <= runs; run++)); do
    rm -f "$dir/out.tsv"
    bench_measure "$dir/stdout.txt" "$tool" "$page" "$dir/out.tsv"
    [ "$status" -eq 0 ] || { echo "$bench_name: exit code $status on $page" >&2; cat "$dir/stderr.txt" >&2; exit 1; }
    times+=("$wall_ns")
    bench_measure "$dir/stdout.txt" cp "$page" "$dir/copy.html"
    copy+=("$wall_ns")
  done
  tool_s=$(median_s "${times[@]}")
  copy_s=$(median_s "${copy[@]}")
}

printf '%-22s %12s %12s %12s %12s %8s\n' case "${small} MB s" "cp s" "${large} MB s" "cp s" growth
for entry in "${cases[@]}"; do
  IFS='|' read -r name before byte after <<<"$entry"
  make_page "$dir/small.html" "$small" "$before" "$byte" "$after"
  make_page "$dir/large.html" "$large" "$before" "$byte" "$after"
  time_page "$dir/small.html"
  small_s=$tool_s small_copy=$copy_s
  time_page "$dir/large.html"
  # Time per MB at the large size over time per MB at the small size: 1.00 is linear.
  growth=$(awk -v a="$small_s" -v b="$tool_s" -v m="$small" -v n="$large" \
    'BEGIN { if (a <= 0) print "n/a"; else printf "%.2f", (b / n) / (a / m) }')
  printf '%-22s %12s %12s %12s %12s %8s\n' "$name" "$small_s" "$small_copy" "$tool_s" "$copy_s" "$growth"
done
