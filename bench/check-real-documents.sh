#!/usr/bin/env bash
# Loads real documents of this machine with the standard parser: every HTML page of the
# installed package documentation up to 2 MB with ToolMqlInputH /s, and every XML file that
# xmllint finds well-formed with ToolMqlInputX /s. Prints the counts and every failure.
#
# usage: bench/check-real-documents.sh [HTML_ROOT [XML_ROOT...]]
#   HTML_ROOT  where the pages are looked for (default: /usr/share/doc)
#   XML_ROOT   where XML files are looked for (default: /usr /etc /opt)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
[ -x "$build/bin/ToolMqlInputH" ] && [ -x "$build/bin/ToolMqlInputX" ] || {
  echo "check-real-documents: build the default preset first" >&2; exit 1; }
html_root=${1:-/usr/share/doc}
shift || true
xml_roots=("$@")
[ ${#xml_roots[@]} -gt 0 ] || xml_roots=(/usr /etc /opt)

work=$(mktemp -d "${TMPDIR:-/tmp}/mq-real.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One document through a tool; the tools split their command line at blanks, so the file is
# read through a link of a plain name.
check() {
  local tool=$1 file=$2
  ln -sf "$file" "$work/doc"
  rm -f "$work/out.tsv"
  if ! "$build/bin/$tool" /s "$work/doc" "$work/out.tsv" >"$work/report.txt" 2>&1 </dev/null; then
    echo "FAILED $tool $file: $(iconv -f CP932 -t UTF-8 "$work/report.txt" 2>/dev/null || cat "$work/report.txt")"
    return 1
  fi
  return 0
}

pages=0 pages_failed=0
while IFS= read -r -d '' file; do
  pages=$((pages + 1))
  check ToolMqlInputH "$file" || pages_failed=$((pages_failed + 1))
done < <(find -L "$html_root" -type f \( -iname '*.html' -o -iname '*.htm' \) -size -2049k -print0 2>/dev/null)
echo "HTML pages under $html_root (up to 2 MB): $pages, loaded $((pages - pages_failed)), failed $pages_failed"

xml=0 xml_failed=0 not_well_formed=0
while IFS= read -r -d '' file; do
  if ! xmllint --noout --nonet "$file" >/dev/null 2>&1; then
    not_well_formed=$((not_well_formed + 1))
    continue
  fi
  xml=$((xml + 1))
  check ToolMqlInputX "$file" || xml_failed=$((xml_failed + 1))
done < <(find "${xml_roots[@]}" -xdev -type f -iname '*.xml' -size -20M -print0 2>/dev/null)
echo "well-formed XML files under ${xml_roots[*]}: $xml, loaded $((xml - xml_failed)), failed $xml_failed" \
  "($not_well_formed more that xmllint does not find well-formed were left out)"
