#!/usr/bin/env bash
# Times ToolRecast against nkf, iconv and a plain copy on a generated Shift-JIS text file.
#
# usage: bench/run-recode-bench.sh [-d DIR] [-r RUNS] [-n] [SIZE_MB]
#   SIZE_MB  size of the text in millions of bytes (default: 100)
#   -d DIR   keep the text and the outputs in DIR (default: a temporary folder, removed at the end)
#   -r RUNS  runs of each command (default: 3)
#   -n       do not build; use what build/bin holds
#
# Commands, all on the same file in the same run: ToolRecast /cEUC and /cJIS, nkf -S -e and
# nkf -S -j, iconv -f SHIFT_JIS -t EUC-JP, and cat as the floor; then UTF-8 both ways beside
# iconv: ToolRecast /cUTF8 and iconv -f CP932 -t UTF-8 on the text, ToolRecast /eUTF8 and
# iconv -f UTF-8 -t CP932 on its UTF-8 form. Every run deletes its output
# first and must end with exit code 0. Wall time is taken around the command, peak memory
# from /usr/bin/time -v. nkf is installed with apt-get when it is missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench_name=run-recode-bench
# shellcheck source=bench/bench-common.sh
. "$root/bench/bench-common.sh"
runs=3
dir=""
do_build=1

usage() {
  sed -n '4,9s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

while getopts "d:r:nh" option; do
  case "$option" in
    d) dir=$OPTARG ;;
    r) runs=$OPTARG ;;
    n) do_build=0 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage
size=${1:-100}

is_count() { [[ $1 =~ ^[1-9][0-9]*$ ]]; }
is_count "$runs" || { echo "run-recode-bench: RUNS must be a whole number above 0, not '$runs'" >&2; exit 2; }
is_count "$size" || { echo "run-recode-bench: SIZE_MB must be a whole number above 0, not '$size'" >&2; exit 2; }

if ! command -v nkf >/dev/null; then
  echo "nkf is missing: installing Debian's package nkf"
  [ "$(id -u)" -eq 0 ] || { echo "run-recode-bench: installing nkf needs root; install it and run again" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q nkf >/dev/null 2>&1 || { apt-get update -q >/dev/null && apt-get install -y -q nkf >/dev/null; }
fi
for command in cmake nkf iconv cat cmp awk; do
  command -v "$command" >/dev/null || { echo "run-recode-bench: '$command' is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run-recode-bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ "$do_build" -eq 1 ]; then
  bench_build ToolRecast mq_bench_text
fi
tool="$build/bin/ToolRecast"
generator="$build/bin/mq_bench_text"
for program in "$tool" "$generator"; do
  [ -x "$program" ] || { echo "run-recode-bench: $program is missing; build it first" >&2; exit 1; }
done

bench_work_dir "$dir" 200

text="$dir/text-${size}mb.txt"
"$generator" "$size" "$text"
bytes=$(wc -c <"$text")
utf8="$dir/text-${size}mb.utf8"
iconv -f CP932 -t UTF-8 "$text" >"$utf8"

bench_machine_line
echo "$(nkf --version 2>&1 | sed -n 1p); $(iconv --version | sed -n 1p); $(cat --version | sed -n 1p)"
echo "text: $text, $bytes bytes; $runs runs per command; 1 MB = 1000000 bytes"
echo

# name|output file|command; a command without OUT writes to standard output.
commands=(
  "ToolRecast /cEUC|$dir/tool.euc|$tool /cEUC $text OUT"
  "ToolRecast /cJIS|$dir/tool.jis|$tool /cJIS $text OUT"
  "nkf -S -e|$dir/nkf.euc|nkf -S -e $text"
  "nkf -S -j|$dir/nkf.jis|nkf -S -j $text"
  "iconv SHIFT_JIS>EUC-JP|$dir/iconv.euc|iconv -f SHIFT_JIS -t EUC-JP $text"
  "cat|$dir/cat.txt|cat $text"
  "ToolRecast /cUTF8|$dir/tool.utf8|$tool /cUTF8 $text OUT"
  "iconv CP932>UTF-8|$dir/iconv.utf8|iconv -f CP932 -t UTF-8 $text"
  "ToolRecast /eUTF8|$dir/tool.sjis|$tool /eUTF8 $utf8 OUT"
  "iconv UTF-8>CP932|$dir/iconv.sjis|iconv -f UTF-8 -t CP932 $utf8"
)
count=${#commands[@]}
declare -A wall rss

fail_run() {
  echo "run-recode-bench: $1" >&2
  cat "$dir/stderr.txt" >&2
  exit 1
}

# Runs command i once: deletes its output, times it, checks the exit code.
measure() {
  local name output line
  IFS='|' read -r name output line <<<"${commands[$1]}"
  rm -f "$output"
  local -a argv
  read -r -a argv <<<"${line/OUT/$output}"
  cat "$text" >/dev/null # from the page cache for every command alike
  if [[ $line == *OUT* ]]; then
    bench_measure "$dir/stdout.txt" "${argv[@]}"
  else
    bench_measure "$output" "${argv[@]}"
  fi
  [ "$status" -eq 0 ] || fail_run "'$name' ended with exit code $status"
  wall[$1]="${wall[$1]:-} $wall_ns"
  rss[$1]="${rss[$1]:-} $rss_kb"
}

# Each run takes the commands in another order.
for ((run = 0; run < runs; run++)); do
  for ((k = 0; k < count; k++)); do
    measure $(((k + run) % count))
  done
done

median_s() { printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1e9 }'; }
largest_kb() { printf '%s\n' $1 | sort -n | tail -n 1; }
list_s() { printf '%s\n' $1 | awk '{ printf "%s%.3f", (NR > 1 ? " " : ""), $1 / 1e9 }'; }

printf '%-24s %10s %9s %13s   %s\n' command "wall s" "MB/s" "peak RSS MiB" "runs (wall s)"
declare -A median peak
for ((i = 0; i < count; i++)); do
  IFS='|' read -r name _ _ <<<"${commands[$i]}"
  median[$i]=$(median_s "${wall[$i]}")
  peak[$i]=$(largest_kb "${rss[$i]}")
  printf '%-24s %10s %9.1f %13.1f   %s\n' "$name" "${median[$i]}" "$(awk -v b="$bytes" -v s="${median[$i]}" 'BEGIN { print b / 1e6 / s }')" \
    "$(awk -v k="${peak[$i]}" 'BEGIN { print k / 1024 }')" "$(list_s "${wall[$i]}")"
done
echo "(median wall time of the runs; MB/s of input from it; peak RSS the largest of the runs)"
echo

same() { cmp -s "$1" "$2" && echo "same bytes" || echo "DIFFERENT bytes"; }
echo "outputs: ToolRecast /cEUC vs nkf -S -e: $(same "$dir/tool.euc" "$dir/nkf.euc"); vs iconv: $(same "$dir/tool.euc" "$dir/iconv.euc")"
echo "         ToolRecast /cJIS vs nkf -S -j: $(same "$dir/tool.jis" "$dir/nkf.jis") ($(wc -c <"$dir/tool.jis") and $(wc -c <"$dir/nkf.jis") bytes)"
echo "         ToolRecast /cUTF8 vs iconv: $(same "$dir/tool.utf8" "$dir/iconv.utf8"); /eUTF8 vs iconv: $(same "$dir/tool.sjis" "$dir/iconv.sjis"), vs the text: $(same "$dir/tool.sjis" "$text")"
echo

awk -v toUtf8="${median[6]}" -v iconvToUtf8="${median[7]}" -v fromUtf8="${median[8]}" -v iconvFromUtf8="${median[9]}" \
    -v toolEuc="${median[0]}" -v toolJis="${median[1]}" -v nkfEuc="${median[2]}" -v nkfJis="${median[3]}" \
    -v floor="${median[5]}" -v rssEuc="${peak[0]}" -v rssJis="${peak[1]}" -v bytes="$bytes" '
  function verdict(ok) { return ok ? "met" : "NOT met" }
  BEGIN {
    limit = bytes / 1024 + 8 * 1024
    printf "ToolRecast /cEUC: %.2f of nkf -S -e (target at most 0.50: %s), %.2f of cat (target at most 3: %s)\n",
           toolEuc / nkfEuc, verdict(toolEuc <= 0.5 * nkfEuc), toolEuc / floor, verdict(toolEuc <= 3 * floor)
    printf "ToolRecast /cJIS: %.2f of nkf -S -j (target at most 0.50: %s), %.2f of cat (target at most 3: %s)\n",
           toolJis / nkfJis, verdict(toolJis <= 0.5 * nkfJis), toolJis / floor, verdict(toolJis <= 3 * floor)
    printf "peak memory: /cEUC %.1f MiB, /cJIS %.1f MiB; input plus 8 MiB is %.1f MiB: %s\n", rssEuc / 1024,
           rssJis / 1024, limit / 1024, verdict(rssEuc <= limit && rssJis <= limit)
    printf "ToolRecast /cUTF8: %.2f of iconv; /eUTF8: %.2f of iconv\n", toUtf8 / iconvToUtf8, fromUtf8 / iconvFromUtf8
  }'
