#!/bin/sh
# Checks the built manual pages: each renders without a warning, and each option that a
# program's --help lists (/k, /s, ...) is named in its page.  MAN_DIR BIN_DIR
set -u
man_dir=$1
bin_dir=$2
failed=0
for page in "$man_dir"/man1/*.1 "$man_dir"/man5/*.5; do
  warnings=$(cd "$man_dir" && LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$page: $warnings"
    failed=1
  fi
done
for program in Marquill ToolMqlInputX ToolMqlInputH ToolRecast; do
  page="$man_dir/man1/$program.1"
  # ToolMqlInputH's page is ToolMqlInputX's.
  grep -q '^\.so ' "$page" && page="$man_dir/$(sed -n 's/^\.so //p' "$page")"
  options=$(LC_ALL=C.UTF-8 "$bin_dir/$program" --help | sed -n 's/^  \(\/[a-zA-Z]\).*/\1/p')
  # A slash option must head an entry of its own (.B, .BR or .BI at a line's start).
  for option in $options; do
    if ! grep -q -E -- "^\.B[IR]? +$option" "$page"; then
      echo "$page: $program's option $option has no entry"
      failed=1
    fi
  done
  for option in -h --help --version; do
    escaped=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
    if ! grep -q -- "$escaped" "$page"; then
      echo "$page: $program's option $option is not described"
      failed=1
    fi
  done
  if ! LC_ALL=C.UTF-8 "$bin_dir/$program" --help | grep -q "man $program"; then
    echo "$program --help does not point to its manual page"
    failed=1
  fi
done
exit $failed
