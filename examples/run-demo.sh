#!/usr/bin/env bash
# Runs Marquill on the bundled example in a scratch folder and shows what it wrote, then
# writes the tag listing of the example page with ToolMqlInputH. Everything is UTF-8 and is
# shown as it stands.
# Usage: run-demo.sh MARQUILL TOOLMQLINPUTH EXAMPLES_DIR WORK_DIR
set -eu
marquill=$1 listing_tool=$2 examples=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
cp "$examples"/demo.ini "$examples"/*.html "$examples"/*.txt "$work"/
cd "$work"
show() { cat "$1"; }

set +e
"$marquill" demo.ini
code=$?
set -e
echo "Marquill demo.ini -> exit code $code"
for file in demo.log demo-out.txt; do
  if [ -f "$file" ]; then
    echo "--- $file"
    show "$file" | tr -d '\r'
  fi
done
[ "$code" -eq 0 ] || exit "$code"
[ -s demo-out.txt ] || { echo "Marquill wrote no output file"; exit 1; }

set +e
"$listing_tool" /u bakery.html bakery.tsv </dev/null
code=$?
set -e
echo "ToolMqlInputH /u bakery.html bakery.tsv -> exit code $code"
if [ -f bakery.tsv ]; then
  echo "--- bakery.tsv (FileNo, No, SeaNo, TagName, Value)"
  show bakery.tsv | tr -d '\r'
fi
exit "$code"
