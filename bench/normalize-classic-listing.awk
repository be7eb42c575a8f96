# Rewrites a tag listing written by the classic scanner as the standard parser writes the same
# page: the entity references in values decoded (a no-break space as a space) and the values
# of texts trimmed again, since decoding can leave blanks at their edges. Attribute values are
# not trimmed: the parser keeps them as written. Lines are FileNo, No, SeaNo, TagName, Value,
# TAB-separated, CR LF at the end.
BEGIN { FS = "\t"; OFS = "\t" }
{
  sub(/\r$/, "")
  value = $5
  if (index(value, "&") > 0) {
    gsub(/&nbsp;/, " ", value)
    gsub(/&lt;/, "<", value)
    gsub(/&gt;/, ">", value)
    gsub(/&quot;/, "\"", value)
    gsub(/&#39;/, "'", value)
    gsub(/&amp;/, "\\&", value)
    if ($4 !~ />>$/) {
      while (match(value, /^( |\[09\]|\[0A\]|\[0D\])/)) value = substr(value, RLENGTH + 1)
      while (match(value, /( |\[09\]|\[0A\]|\[0D\])$/)) value = substr(value, 1, RSTART - 1)
    }
    $5 = value
  }
  printf "%s\r\n", $0
}
