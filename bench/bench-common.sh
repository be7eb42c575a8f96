# Sourced by the benchmark scripts: the build, the work folder, the machine line and one
# timed run. The caller sets bench_name (for messages), root and build first.

# Builds the targets, configuring the default preset first when the build folder is new.
bench_build() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset default)
  fi
  cmake --build "$build" --target "$@"
}

# Sets dir to the folder given (created) or to a temporary one removed at exit. The programs
# split their command lines at blanks and keep file names of limited length, so the folder
# must have no blank and at most MAXLEN bytes.
bench_work_dir() {
  local given=$1 maxlen=$2
  if [ -z "$given" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/mq-$bench_name.XXXXXX")
    trap 'rm -rf "$dir"' EXIT
  else
    mkdir -p "$given"
    dir=$(cd "$given" && pwd)
  fi
  case "$dir" in
    *[[:space:]]*) echo "$bench_name: the folder '$dir' must not contain blanks" >&2; exit 1 ;;
  esac
  [ ${#dir} -le "$maxlen" ] || { echo "$bench_name: the folder name '$dir' is too long" >&2; exit 1; }
}

# Cores, load and build type: figures on a busy machine are not comparable with an idle one's.
bench_machine_line() {
  local build_type
  build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
  echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), build type ${build_type:-unknown}"
}

# bench_measure STDOUT COMMAND...: runs the command in $dir under /usr/bin/time -v, its
# standard output into STDOUT, in a UTF-8 locale; sets wall_ns, cpu_ns (user plus system),
# rss_kb and status.
bench_measure() {
  local out=$1 started ended
  shift
  started=$(date +%s%N)
  set +e
  (cd "$dir" && LC_ALL=C.UTF-8 /usr/bin/time -v -o "$dir/time.txt" "$@" >"$out" 2>"$dir/stderr.txt" </dev/null)
  status=$?
  set -e
  ended=$(date +%s%N)
  wall_ns=$((ended - started))
  rss_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/time.txt")
  cpu_ns=$(awk -F': ' '/(User|System) time \(seconds\)/ { t += $2 } END { printf "%.0f", t * 1e9 }' "$dir/time.txt")
}
