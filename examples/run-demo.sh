#!/usr/bin/env bash
# Runs Marquill on the bundled example in a scratch folder and shows what it wrote.
# Usage: run-demo.sh MARQUILL EXAMPLES_DIR WORK_DIR
set -eu
marquill=$1 examples=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cp "$examples"/demo.ini "$examples"/*.html "$examples"/*.txt "$work"/
cd "$work"
set +e
"$marquill" demo.ini
code=$?
set -e
echo "Marquill demo.ini -> exit code $code"
show() { if command -v iconv >/dev/null; then iconv -f CP932 -t UTF-8 "$1"; else cat "$1"; fi; }
for file in demo.log demo-out.txt; do
  if [ -f "$file" ]; then
    echo "--- $file"
    show "$file" | tr -d '\r'
  fi
done
exit "$code"
