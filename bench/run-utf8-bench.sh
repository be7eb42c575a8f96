#!/usr/bin/env bash
# Times the same jobs in both working codes on the generated benchmark page: the listing
# (ToolMqlInputH, and with /u) and a fill of many items (Marquill, and with [OUTFILE]
# CODE=UTF8, its template and replacement file converted to UTF-8), and checks that each
# UTF-8 output is the Shift-JIS one converted.
#
# usage: bench/run-utf8-bench.sh [-r RUNS] [-i ITEMS_PER_MB] [-n] [SIZE_MB]
#   SIZE_MB          document size in millions of bytes (default: 100)
#   -r RUNS          runs of each command (default: 3)
#   -i ITEMS_PER_MB  template items per MB of document (default: 1000)
#   -n               do not build; use what build/bin holds
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-utf8-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
per_mb=1000
do_build=1
while getopts "r:i:nh" option; do
  case "$option" in
    r) runs=$OPTARG ;;
    i) per_mb=$OPTARG ;;
    n) do_build=0 ;;
    *) sed -n '7,11s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
size=${1:-100}
[ -x /usr/bin/time ] || { echo "$bench_name: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }
[ "$do_build" -eq 0 ] || bench_build Marquill ToolMqlInputH mq_bench_gen mq_bench_template
marquill="$build/bin/Marquill"
lister="$build/bin/ToolMqlInputH"
bench_work_dir "" 180
bench_machine_line

document="$dir/page.html"
"$build/bin/mq_bench_gen" "$size" "$document"
"$lister" "$document" "$dir/listing.tsv" >/dev/null </dev/null
"$build/bin/mq_bench_template" "$dir/listing.tsv" $((size * per_mb)) "$dir/template.txt" "$dir/replace.txt" >/dev/null
# The generated before-texts are cut at any byte; a character cut in half has no UTF-8 form,
# so both runs take the texts without such a last half.
python3 - "$dir/replace.txt" <<'PY'
import sys
path = sys.argv[1]
lines = open(path, "rb").read().split(b"\r\n")
out = []
for line in lines:
    fields = line.split(b"\t")
    if len(fields) == 3:
        text, i = fields[1], 0
        while i < len(text):
            i += 2 if (0x81 <= text[i] <= 0x9F or 0xE0 <= text[i] <= 0xFC) else 1
        if i > len(text):
            fields[1] = text[:-1]
    out.append(b"\t".join(fields))
open(path, "wb").write(b"\r\n".join(out))
PY
# A maximum length counts bytes, which fall elsewhere in UTF-8: the items write whole values.
sed -E 's/[0-9]{3}%>/000%>/g' "$dir/template.txt" >"$dir/template-whole.txt"
mv "$dir/template-whole.txt" "$dir/template.txt"
iconv -f CP932 -t UTF-8 "$dir/template.txt" >"$dir/template-u8.txt"
iconv -f CP932 -t UTF-8 "$dir/replace.txt" >"$dir/replace-u8.txt"
# settings NAME CODE TEMPLATE REPLACE
settings() {
  printf '[LOG]\r\nFILENAME=%s\r\nWARLOGOUT=NO\r\n[OUTFILE]\r\nKIND=NORMAL\r\nOUTFILE=%s\r\nCODE=%s\r\n' \
    "$dir/$1.log" "$dir/$1.out" "$2"
  printf '[SET]\r\nSTART=<%%\r\nEND=%%>\r\n[INFILE]\r\nCOUNT=1\r\nKIND=HTML\r\nINFILE1=%s\r\n' "$document"
  printf '[OUTDEF]\r\nOUTDEF=%s\r\n[REPLACE]\r\nREPDEF=%s\r\n' "$3" "$4"
}
settings fill-sjis SJIS "$dir/template.txt" "$dir/replace.txt" >"$dir/fill-sjis.ini"
settings fill-utf8 UTF8 "$dir/template-u8.txt" "$dir/replace-u8.txt" >"$dir/fill-utf8.ini"
echo "$size MB page, $((size * per_mb)) items; $runs runs per command; 1 MB = 1000000 bytes"

names=(list-sjis list-utf8 fill-sjis fill-utf8)
declare -A wall rss
run() {
  case "$1" in
    list-sjis) rm -f "$dir/list-sjis.out"; bench_measure "$dir/stdout.txt" "$lister" "$document" "$dir/list-sjis.out" ;;
    list-utf8) rm -f "$dir/list-utf8.out"; bench_measure "$dir/stdout.txt" "$lister" /u "$document" "$dir/list-utf8.out" ;;
    *) rm -f "$dir/$1.out"; bench_measure "$dir/stdout.txt" "$marquill" "$dir/$1.ini" ;;
  esac
  [ "$status" -eq 0 ] || { echo "$bench_name: $1 ended with exit code $status" >&2; exit 1; }
  wall[$1]="${wall[$1]:-} $wall_ns"
  rss[$1]="${rss[$1]:-} $rss_kb"
}
cat "$document" >/dev/null
for ((r = 0; r < runs; r++)); do
  for ((k = 0; k < 4; k++)); do run "${names[(k + r) % 4]}"; done
done

median_s() { printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] / 1e9 }'; }
peak_mb() { printf '%s\n' $1 | sort -n | tail -n 1 | awk '{ printf "%.1f", $1 * 1024 / 1e6 }'; }
printf '%-10s %9s %12s\n' job "wall s" "peak RSS MB"
for name in "${names[@]}"; do printf '%-10s %9s %12s\n' "$name" "$(median_s "${wall[$name]}")" "$(peak_mb "${rss[$name]}")"; done
for job in list fill; do
  awk -v job="$job" -v a="$(median_s "${wall[$job-sjis]}")" -v b="$(median_s "${wall[$job-utf8]}")" \
      -v m="$(peak_mb "${rss[$job-sjis]}")" -v n="$(peak_mb "${rss[$job-utf8]}")" 'BEGIN {
    printf "%s: UTF-8 time x%.3f of Shift-JIS (target at most 1.10: %s), peak memory x%.3f (target at most 1.10: %s)\n",
           job, b / a, b <= 1.1 * a ? "met" : "NOT met", n / m, n <= 1.1 * m ? "met" : "NOT met" }'
  if iconv -f CP932 -t UTF-8 "$dir/$job-sjis.out" | cmp -s - "$dir/$job-utf8.out"; then
    echo "$job: the UTF-8 output is the Shift-JIS output converted"
  else
    echo "$job: the UTF-8 output DIFFERS from the Shift-JIS output converted"
  fi
done
