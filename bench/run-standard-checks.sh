#!/usr/bin/env bash
# Checks of the standard way in that are too slow for CTest: speed and memory on the 100 MB
# benchmark page against xmllint, the classic listing of that page held against the standard
# one, and 100,000 unclosed <p>.
#
# usage: bench/run-standard-checks.sh [-d DIR] [-r RUNS] [SIZE_MB]
#   SIZE_MB  size of the generated page (default: 100)
#   -d DIR   keep the page and the listings in DIR (default: a temporary folder, removed at the end)
#   -r RUNS  runs of each program (default: 3)
#
# The generated page carries &amp; and &nbsp;, which the standard parser decodes; the classic
# listing is compared after bench/normalize-classic-listing.awk has decoded them in its values.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-standard-checks
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
dir=""
while getopts "d:r:h" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    r) runs=$OPTARG ;;
    *) sed -n '6,10s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
size=${1:-100}

for command in cmake xmllint awk cmp; do
  command -v "$command" >/dev/null || { echo "run-standard-checks: '$command' is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run-standard-checks: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }
bench_build ToolMqlInputH mq_bench_gen
tool="$build/bin/ToolMqlInputH"

bench_work_dir "$dir" 200
bench_machine_line
xmllint --version 2>&1 | sed -n 1p
page="$dir/page-${size}mb.html"
"$build/bin/mq_bench_gen" "$size" "$page"
cat "$page" >/dev/null

# Runs a command under /usr/bin/time; prints "wall_s rss_mb".
measure() {
  bench_measure /dev/null "$@"
  [ "$status" -eq 0 ] || { echo "run-standard-checks: failed: $*" >&2; cat "$dir/stderr.txt" >&2; exit 1; }
  awk -v ns="$wall_ns" -v kb="$rss_kb" 'BEGIN { printf "%.3f %.1f\n", ns / 1e9, kb * 1024 / 1e6 }'
}

echo
echo "$size MB page, $runs runs each (wall s, peak RSS MB):"
for ((run = 1; run <= runs; run++)); do
  rm -f "$dir/standard.tsv"
  echo "  ToolMqlInputH /s     $(measure env LC_ALL=C.UTF-8 "$tool" "$page" "$dir/standard.tsv" /s)"
  echo "  xmllint --html --noout $(measure xmllint --html --noout "$page")"
done

echo
rm -f "$dir/classic.tsv"
"$tool" "$page" "$dir/classic.tsv" >/dev/null
LC_ALL=C awk -f "$root/bench/normalize-classic-listing.awk" "$dir/classic.tsv" >"$dir/classic-decoded.tsv"
echo "listings: classic $(wc -l <"$dir/classic.tsv") records, standard $(wc -l <"$dir/standard.tsv") records;" \
  "$(cmp -s "$dir/classic.tsv" "$dir/standard.tsv" && echo identical || echo "differ as written")"
if cmp -s "$dir/classic-decoded.tsv" "$dir/standard.tsv"; then
  echo "  with the entity references of the classic values decoded: byte-identical"
else
  echo "  with the entity references of the classic values decoded: DIFFERENT"
  cmp "$dir/classic-decoded.tsv" "$dir/standard.tsv" || true
fi
echo "  lines that differ as written: $(diff "$dir/classic.tsv" "$dir/standard.tsv" | grep -c '^>' || true)"

echo
python_free_page="$dir/unclosed-p.html"
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "<p>"; printf "\n" }' >"$python_free_page"
rm -f "$dir/p.tsv"
echo "100,000 unclosed <p> ($(wc -c <"$python_free_page") bytes): $(measure "$tool" "$python_free_page" "$dir/p.tsv" /s) (wall s, peak RSS MB), $(wc -l <"$dir/p.tsv") records"
