#!/bin/sh
# The overwrite question answered with OK, on the Windows build: under a virtual display a
# message box waits for its answer, and Return presses its default button, OK. ToolRecast
# then replaces an existing output and closes with its final report, answered the same way.
# Usage: windows-ok-path.sh TOOLRECAST.EXE WORK_DIR
# It runs a Wine server and prefix of its own, so that the display it gives Wine's helper
# processes ends with this test and not under the other tests.
set -eu
if [ "${1:-}" = inside ]; then
  tool=$2 work=$3
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1
  cd "$work"
  wine "$tool" in.txt out.txt </dev/null >tool.out 2>&1 &
  pid=$!
  # Each box is answered once it is shown; the report comes only after the question's box
  # has gone, so the first visible box that is not the question's is the report's.
  question=$(xdotool search --sync --onlyvisible --name '^ToolRecast$' | head -n 1)
  xdotool key --window "$question" Return
  report=
  while [ -z "$report" ]; do
    report=$(xdotool search --sync --onlyvisible --name '^ToolRecast$' | grep -vx "$question" | head -n 1 || true)
  done
  xdotool key --window "$report" Return
  code=0
  wait "$pid" || code=$?
  wineserver -k </dev/null >/dev/null 2>&1 || true
  echo "$code" > exit-code
  exit 0
fi

tool=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
printf 'abc\r\n' > "$work/in.txt"
printf 'old' > "$work/out.txt"
xvfb-run -a sh "$0" inside "$tool" "$work"
code=$(cat "$work/exit-code")
if [ "$code" != 0 ] || [ "$(cat "$work/out.txt")" != "$(cat "$work/in.txt")" ]; then
  echo "after OK: exit code $code, output [$(cat "$work/out.txt")], tool said: $(cat "$work/tool.out")"
  exit 1
fi
echo "OK replaced the output; exit code 0"
