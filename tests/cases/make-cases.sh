#!/usr/bin/env bash
# Re-creates the golden case folders of Marquill's output phase beside this script. Each
# case function writes the input files of one run and the files that the run must leave,
# worked out by hand from the rules of the output phase: values, cuts, replacements and
# log lines are spelled out below, never taken from a run.
set -euo pipefail
cd "$(dirname "$0")"

j() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }  # a UTF-8 text as Shift-JIS bytes
crlf() { sed 's/$/\r/'; }
rep() { local i; for ((i = 0; i < $2; i++)); do printf '%s' "$1"; done; }
new_case() {
  C=$1
  rm -rf "$C"
  mkdir -p "$C/input" "$C/expected"
}
input() { cat >"$C/input/$1"; }
expect() { cat >"$C/expected/$1"; }
exit_code() { echo "$1" >"$C/expected/exit-code"; }
absent() { printf '%s\n' "$@" >"$C/expected/absent"; }
# A case whose expected folder holds needs-converter is skipped where the system has none.
# settings.ini from UTF-8 lines on stdin, in Shift-JIS with CR LF.
settings() { iconv -f UTF-8 -t CP932 | crlf | input settings.ini; }
# An expected log from "CODE TEXT" lines in UTF-8 on stdin: masked stamp, Shift-JIS, CR LF.
log() { sed 's|^|YYYY/MM/DD hh:mm:ss |' | iconv -f UTF-8 -t CP932 | crlf | expect "${1:-ERRLOG.LOG}"; }

STARTED='0001 プログラムを開始しました'
ENDED='0002 プログラムを終了しました'
TAB=$'\t'
not_in_input() { echo "5021 入力ファイルに存在しません CONTENTS = [$1] TAGNAME = [$2] SEQNO = [$3]"; }
SEQ_DIFFERS='シーケンス番号が一致しません'
TAG_DIFFERS='タグ名が一致しません'
not_in_replace() { echo "5022 読替定義ファイルに存在しません${TAB}NO = [$1] VALUE = [$2]"; }
item_fault() { echo "1022 出力定義ファイルの構造が不正です CONTENS = [$1] ROWS = [$2] COLS = [$3]"; }
replace_fault() { echo "1023 読替定義ファイルの構造が不正です CONTENS = [$1] ROWS = [$2] COLS = [1]"; }
WRITE_FAILED='1002 ファイルの書込みに失敗しました FILENAME = [/dev/full]'

# Settings for template.txt over one tag listing: $1 WARLOGOUT, $2 OUTFILE, $3 the listing,
# then extra lines.
listing_settings() {
  local warn=$1 out=$2 listing=$3
  shift 3
  printf '%s\n' "[LOG]" "WARLOGOUT=$warn" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=$out" "[SET]" "START=<%" "END=%>" \
    "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=$listing" "[OUTDEF]" "OUTDEF=template.txt" "$@" | settings
}
# The one-record listing that the fault cases look values up in.
p_listing() { printf '1\t1\t1\t<P>\tABCDE\r\n' | input p.tsv; }

# ---------------------------------------------------------------------------------------
# HTML documents, the usual run: items spread over lines, lower-case paths, options,
# records without content, cuts inside a two-byte character, a replacement, 5021 with both
# details and 5022, documents above COUNT and 0. $2 is WARLOGOUT.
html_documents() {
  new_case "$1"
  printf '%s\n' "[LOG]" "FILENAME=run.log" "WARLOGOUT=$2" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" \
    "[SET]" "START=<%" "END=%>" "[INFILE]" "COUNT=2" "KIND=HTML" "INFILE1=shop.html" "INFILE2=branch.html" \
    "INFILE3=never-read.html" "[OUTDEF]" "OUTDEF=template.txt" "[REPLACE]" "REPDEF=replace.txt" | settings
  # Records: 1 <HEAD>; 2 <HEAD><TITLE> "Bakery News"; 3 <BODY>; 4 <BODY><TABLE>;
  # 5 <BODY><TABLE><<BORDER>> "1"; 6 <BODY><TABLE><TR>; 7 <BODY><TABLE><TR><TD> "A";
  # 8 the same path, sequence 2, "B"; 9 <BODY><TABLE><TR><TD><<ALIGN>> "right";
  # 10 <BODY><P> "first"; 11 <BODY><P> sequence 2 "second".
  printf '<HTML><HEAD><TITLE>Bakery News</TITLE></HEAD>\r\n<BODY><TABLE BORDER=1><TR><TD>A</TD><TD ALIGN='"'right'"'>B</TD></TR></TABLE>\r\n<P>first</P><P>second</P></BODY></HTML>\r\n' |
    input shop.html
  # Records: 1 <HEAD>; 2 <HEAD><TITLE> "東京 本店"; 3 <BODY>; 4 <BODY><P> "営業中";
  # 5 <BODY><ズン> "書": ペ is 83 79, and upper-casing the name makes it 83 59, ズ.
  j $'<HTML><HEAD><TITLE>東京 本店</TITLE></HEAD><BODY><P>営業中</P><ペン>書</ペン></BODY></HTML>\r\n' |
    input branch.html
  printf '1\tA\tAlpha\r\n' | input replace.txt
  {
    printf 'Title: <%%1 <HEAD><TITLE> 0001 000 020%%>\r\n'
    printf 'Cells: <%%1<body><table><tr><td>0001001000%%>/<%%1<BODY><TABLE><TR><TD>0002 001 000%%>\r\n'
    printf 'Align: <%%1\r\n\t<BODY><TABLE><TR><TD><<ALIGN>>\r\n\t0001 000 000%%>\r\n'
    printf 'Border: <%%1<BODY><TABLE><<BORDER>>0001000000%%>\r\n'
    printf 'Table: [<%%1<BODY><TABLE>0001000000%%>]\r\n'
    printf 'Second: <%%1<BODY><P>0002000003%%>\r\n'
    printf 'Shop: <%%2<HEAD><TITLE>0001000000%%> (<%%2<HEAD><TITLE>0001000003%%>)\r\n'
    printf 'Open: <%%2<BODY><P>0001002000%%>\r\n'
    # The item's path is upper-cased the same way.
    j $'Pen: <%2<BODY><ペン>0001000000%>\r\n'
    printf 'Missing: <%%1<BODY><P>0003000000%%>|<%%1<BODY><Q>0001000000%%>|<%%1<body><em>0001000000%%>\r\n'
    printf 'Others: <%%3<P>0001000000%%><%%0<P>0001000000%%>.\r\n'
    printf 'end'
  } | input template.txt
  {
    printf 'Title: Bakery News\r\nCells: Alpha/B\r\nAlign: right\r\nBorder: 1\r\nTable: []\r\nSecond: sec\r\n'
    # 東 is 93 8C and 京 8B 9E: three bytes end after the first byte of 京, which is
    # written as a space.
    j 'Shop: 東京 本店 (東 )'
    printf '\r\nOpen: ?\r\n'
    j $'Pen: 書\r\n'
    printf 'Missing: ||\r\nOthers: .\r\nend'
  } | expect out.txt
  exit_code 0
}

html_documents html_documents_normal YES
printf '%s\n' "$STARTED" "$(not_in_replace 2 営業中)" "$(not_in_input $SEQ_DIFFERS '<BODY><P>' 3)" \
  "$(not_in_input $TAG_DIFFERS '<BODY><Q>' 1)" "$(not_in_input $SEQ_DIFFERS '<BODY><EM>' 1)" "$ENDED" | log run.log
absent ERRLOG.LOG

html_documents html_documents_warnings_off NO
absent run.log ERRLOG.LOG

# ---------------------------------------------------------------------------------------
# Values from tag listings: maximum cuts, also inside a two-byte character (its first byte
# written as a space, so that it cannot join the next byte); the first of
# two records with the same path and number; empty values; a NUL and a CR inside values;
# a second document, a line ending in LF alone and a last line without a line end.
listing_values() {
  printf '1\t1\t1\t<P>\tABCDE\r\n'
  j $'1\t2\t1\t<P><B>\t日本語\r\n'
  printf '1\t3\t2\t<P>\tfirst of two\r\n'
  printf '2\t1\t1\t<P>\tdoc two\n'
  printf '1\t4\t2\t<P>\tsecond of two\r\n'
  printf '1\t5\t1\t<Q>\t\r\n'
  printf '1\t6\t1\t<X>\tab\0cd\r\n'
  printf '1\t7\t1\t<M>\ta\rb\r\n'
  printf '1\t8\t1\t<lower>\tnever found\r\n'
  j $'1\t9\t1\t<ペ>\tpe\r\n'
  printf '1\t\t\t<E>\tempty numbers\r\n1\t2147483647\t0000012\t<N>\tbig\r\n'
}

new_case listing_values_and_cuts
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START={{" "END=}}" \
  "[INFILE]" "COUNT=2" "KIND=CSV" "INFILE1=one.tsv" "INFILE2=two.tsv" "[OUTDEF]" "OUTDEF=template.txt" | settings
listing_values | input one.tsv
printf '2\t9\t3\t<Z>\tlast line without LF' | input two.tsv
{
  printf 'cut3={{1<P>0001000003}}\r\nwhole={{1<P>0001000000}}\r\nover={{1<P>0001000999}}\r\n'
  printf 'exact={{1<P>0001000005}}\r\nhalf={{1<P><B>0001000003}}\r\ntwo={{1<P><B>0001000004}}\r\n'
  printf 'first={{1<P>0002000000}}\r\nempty=[{{1<Q>0001000000}}]\r\nnul={{1<X>0001000000}}\r\n'
  printf 'cr={{1<M>0001000000}}\r\ndoc2={{2<P>0001000000}}\r\nlast={{2<Z>0003000000}}\r\n'
  printf 'lower=[{{1<lower>0001000000}}]\r\n'
  # The listing keeps lower-case bytes in its paths (<lower>, and the trail byte of ペ,
  # 83 79), so its names were upper-cased by character: so is the item's path, and <ペ>
  # is found, where upper-casing byte by byte would look for ズ (83 59).
  j $'pe=[{{1<ペ>0001000000}}]\r\nbig={{1<N>0012000000}}\r\n'
} | input template.txt
{
  printf 'cut3=ABC\r\nwhole=ABCDE\r\nover=ABCDE\r\nexact=ABCDE\r\n'
  # 日本語 is 93 FA 96 7B 8C EA.
  printf 'half=\x93\xFA \r\ntwo=\x93\xFA\x96\x7B\r\n'
  printf 'first=first of two\r\nempty=[]\r\nnul=ab\0cd\r\ncr=a\rb\r\ndoc2=doc two\r\n'
  printf 'last=last line without LF\r\nlower=[]\r\npe=[pe]\r\nbig=big\r\n'
} | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_input $TAG_DIFFERS '<LOWER>' 1)" "$ENDED" | log
exit_code 0

# The same listings written as a listing: slot by slot, each in line order, values cleaned
# and ending at a NUL.
new_case csv_output_listing_values
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=CSV" "OUTFILE=out.tsv" \
  "[INFILE]" "COUNT=2" "KIND=CSV" "INFILE1=one.tsv" "INFILE2=two.tsv" | settings
listing_values | input one.tsv
printf '2\t9\t3\t<Z>\tlast line without LF' | input two.tsv
{
  printf '1\t1\t1\t<P>\tABCDE\r\n'
  j $'1\t2\t1\t<P><B>\t日本語\r\n'
  printf '1\t3\t2\t<P>\tfirst of two\r\n1\t4\t2\t<P>\tsecond of two\r\n1\t5\t1\t<Q>\t\r\n'
  printf '1\t6\t1\t<X>\tab\r\n1\t7\t1\t<M>\ta b\r\n1\t8\t1\t<lower>\tnever found\r\n'
  j $'1\t9\t1\t<ペ>\tpe\r\n'
  printf '1\t0\t0\t<E>\tempty numbers\r\n1\t2147483647\t12\t<N>\tbig\r\n'
  printf '2\t1\t1\t<P>\tdoc two\r\n2\t9\t3\t<Z>\tlast line without LF\r\n'
} | expect out.tsv
absent ERRLOG.LOG
exit_code 0

# ---------------------------------------------------------------------------------------
# NOCRLF: values cleaned before the cut and before the replacement; the template's own
# line ends stay. Two-byte Shift-JIS markers.
new_case nocrlf_cleaning
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=NOCRLF" "OUTFILE=out.txt" "[SET]" "START=【" "END=】" \
  "[INFILE]" "COUNT=1" "KIND=XML" "INFILE1=doc.xml" "[OUTDEF]" "OUTDEF=template.txt" \
  "[REPLACE]" "REPDEF=replace.txt" | settings
# Records: 1 <R>; 2 <R><V> "A CR LF TAB B LF CR C"; 3 <R><W> "z"; 4 <R><W><<T>> "x TAB y";
# 5 <R><U> "1 LF CR LF 2 CR CR 3".
printf '<?xml version="1.0"?>\r\n<R><V>A\r\n\tB\n\rC</V><W T="x\ty">z</W><U>1\n\r\n2\r\r3</U></R>\r\n' |
  input doc.xml
printf '1\tA  B\tmatched\r\n' | input replace.txt
{
  j $'値=[【1<R><V>0001000000】]\r\n短=[【1<R><V>0001000004】]\r\n'
  j $'属性=[【1 <R><W><<T>> 0001 000 000】]\r\n置換=[【1<R><V>0001001000】]\r\n'
  j $'置換なし=[【1<R><W>0001001000】]\r\n改行=[【1<R><U>0001000000】]\r\n'
  j $'literal keeps\tTAB and line ends\r\n'
} | input template.txt
{
  j $'値=[A  B C]\r\n短=[A  B]\r\n属性=[x y]\r\n置換=[matched]\r\n'
  j $'置換なし=[z]\r\n改行=[1  2  3]\r\nliteral keeps\tTAB and line ends\r\n'
} | expect out.txt
absent ERRLOG.LOG
exit_code 0

# ---------------------------------------------------------------------------------------
# Division with one-byte markers: an END before any START is text, blanks and line ends
# inside items, items side by side, and a last item closed by the template's last byte.
new_case markers_one_byte
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START={" "END=}" \
  "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=p.tsv" "[OUTDEF]" "OUTDEF=template.txt" | settings
p_listing
{
  printf '}close first{1<P>0001000000}{1<P>0001000003}|\r\n'
  printf 'price { 1 <P> 0001 000 002 } yen\r\n'
  printf '{1<P>\r\n\t0001\r\n\t000 000}\r\n'
  printf 'last {1 <P> 0001 000 004\r\n}'
} | input template.txt
printf '}close firstABCDEABC|\r\nprice AB yen\r\nABCDE\r\nlast ABCD' | expect out.txt
absent ERRLOG.LOG
exit_code 0

# Markers of different lengths: each is skipped by its own length, and a START inside an
# item is found by the START's.
new_case markers_of_different_lengths
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START=[[" "END=]" \
  "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=p.tsv" "[OUTDEF]" "OUTDEF=template.txt" | settings
p_listing
printf 'a[[1<P>0001000000]b[[1<P>0001000003]]c[[1<P>0001000002]\r\n] [ ]] end' | input template.txt
printf 'aABCDEbABC]cAB\r\n] [ ]] end' | expect out.txt
absent ERRLOG.LOG
exit_code 0

# Thirty-byte markers: the settings give START with 31 bytes and END with 32, and both are
# cut to 30, so the 31st byte of START is the item's file number and the last two bytes of
# END are text. Nothing after a NUL byte of the template is an item.
START30='<<ITEM-START-MARKER-THIRTY-B>>'
END30='<<ITEM-END-MARKER-THIRTY-BYT>>'
new_case markers_thirty_bytes
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START=${START30}1" \
  "END=${END30}!!" "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=p.tsv" "[OUTDEF]" "OUTDEF=template.txt" | settings
p_listing
{
  printf 'A: %s1<P>0001000000%s!!\r\n' "$START30" "$END30"
  printf 'B: <%s1<P> 0001 000 003%s\r\n' "$START30" "$END30"
  printf 'C: <<ITEM-START-MARKER-THIRTY- stays\r\n'
  printf 'D: %s1\r\n<P>\r\n0001000000\r\n%s\r\n' "$START30" "$END30"
  printf '\0 after NUL: %s1<P>0001000000%s!!\r\n' "$START30" "$END30"
} | input template.txt
{
  printf 'A: ABCDE!!\r\nB: <ABC\r\nC: <<ITEM-START-MARKER-THIRTY- stays\r\nD: ABCDE\r\n'
  printf '\0 after NUL: %s1<P>0001000000%s!!\r\n' "$START30" "$END30"
} | expect out.txt
absent ERRLOG.LOG
exit_code 0

# ---------------------------------------------------------------------------------------
# The replacement table: the Apple entry, an empty before-text, an empty after-text, a
# 19-digit number, line ends CR LF, LF alone, CR CR LF and none on the last line, a line
# over 4096 bytes, a long before-text, enough entries to grow the entry area, and "?" for
# a number the table lacks.
LONG_AFTER=$(rep 0123456789 1000)
LONG_BEFORE=$(rep abcdefghij 500)
new_case replacement_table
listing_settings YES out.txt values.tsv "[REPLACE]" "REPDEF=replace.txt"
{
  printf '5\tA\tApple\r\n6\t\tEVERY\r\n7\tAB\t\r\n0000000000000000008\tv\tnineteen digits\n'
  printf '9\tv\tw\r\r\n10\tv\ta\rb\r\n11\tv\t%s\r\n12\t%s\tLONGBEFORE\r\n' "$LONG_AFTER" "$LONG_BEFORE"
  for ((n = 100; n < 1300; n++)); do printf '%d\tv\tr %d\r\n' $n $n; done
  printf '9999\tv\tmax\r\n13\tv\tno line end'
} | input replace.txt
{
  printf '1\t1\t1\t<A>\tA\r\n1\t2\t1\t<AB>\tAB\r\n1\t3\t1\t<B>\tB\r\n1\t4\t1\t<E>\t\r\n1\t5\t1\t<V>\tv\r\n'
  printf '1\t6\t1\t<L>\t%stail\r\n' "$LONG_BEFORE"
  j $'1\t7\t1\t<J>\t日本語\r\n'
  printf '1\t8\t1\t<ABCDE>\tABCDE\r\n'
} | input values.tsv
{
  printf 'a5=[<%%1<A>0001005000%%>]\r\nab5=[<%%1<AB>0001005000%%>]\r\nb5=[<%%1<B>0001005000%%>]\r\n'
  printf 'e5=[<%%1<E>0001005000%%>]\r\nabcde5cut=[<%%1<ABCDE>0001005002%%>]\r\nj5cut=[<%%1<J>0001005003%%>]\r\n'
  printf 'b6=[<%%1<B>0001006000%%>]\r\ne6=[<%%1<E>0001006000%%>]\r\nb6cut=[<%%1<B>0001006002%%>]\r\n'
  printf 'ab7=[<%%1<AB>0001007000%%>]\r\na7=[<%%1<A>0001007000%%>]\r\nv8=[<%%1<V>0001008000%%>]\r\n'
  printf 'v9=[<%%1<V>0001009000%%>]\r\nv10=[<%%1<V>0001010000%%>]\r\nv11=[<%%1<V>0001011000%%>]\r\n'
  printf 'v11cut=[<%%1<V>0001011999%%>]\r\nl12=[<%%1<L>0001012000%%>]\r\nv13=[<%%1<V>0001013000%%>]\r\n'
  printf 'v100=[<%%1<V>0001100000%%>]\r\nv999=[<%%1<V>0001999000%%>]\r\na42=[<%%1<A>0001042000%%>]\r\n'
  printf 'a42cut=[<%%1<A>0001042005%%>]\r\ne42=[<%%1<E>0001042000%%>]\r\na0=[<%%1<A>0001000000%%>]\r\n'
} | input template.txt
{
  printf 'a5=[Apple]\r\nab5=[Apple]\r\nb5=[B]\r\ne5=[]\r\nabcde5cut=[Ap]\r\nj5cut=[\x93\xFA ]\r\n'
  printf 'b6=[EVERY]\r\ne6=[EVERY]\r\nb6cut=[EV]\r\nab7=[]\r\na7=[A]\r\nv8=[nineteen digits]\r\n'
  printf 'v9=[w\r]\r\nv10=[a\rb]\r\nv11=[%s]\r\nv11cut=[%s]\r\n' "$LONG_AFTER" "${LONG_AFTER:0:999}"
  printf 'l12=[LONGBEFORE]\r\nv13=[no line end]\r\nv100=[r 100]\r\nv999=[r 999]\r\n'
  printf 'a42=[?]\r\na42cut=[?]\r\ne42=[?]\r\na0=[A]\r\n'
} | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_replace 42 A)" "$(not_in_replace 42 A)" "$(not_in_replace 42 '')" "$ENDED" | log
exit_code 0

new_case empty_replacement_file
listing_settings NO out.txt p.tsv "[REPLACE]" "REPDEF=empty.txt"
p_listing
input empty.txt </dev/null
printf '<%%1<P>0001001000%%>,<%%1<P>0001999003%%>,<%%1<P>0001000000%%>\r\n' | input template.txt
printf '?,?,ABCDE\r\n' | expect out.txt
absent ERRLOG.LOG
exit_code 0

# Faults of the replacement file: found before the output file is made. $1 case, $2 the
# file's bytes (printf format), then the detail and the line of the log.
replace_fault_case() {
  new_case "$1"
  listing_settings YES out.txt p.tsv "[REPLACE]" "REPDEF=replace.txt"
  p_listing
  printf "$2" | input replace.txt
  printf 'x=<%%1<P>0001001000%%>\r\n' | input template.txt
  printf '%s\n' "$STARTED" "$(replace_fault "$3" "$4")" "$ENDED" | log
  absent out.txt
  exit_code 255
}
OUT_OF_RANGE='読替番号が範囲外です'
NOT_A_NUMBER='読替番号が不正です'
replace_fault_case replace_number_zero '1\ta\tb\r\n0\ta\tb\r\n' $OUT_OF_RANGE 2
# The duplicate 5 is never reported: reading stops at line 4.
replace_fault_case replace_number_10000 '5\ta\tb\r\n5\ta\tc\r\n9999\ta\tb\r\n10000\ta\tb\r\n' $OUT_OF_RANGE 4
replace_fault_case replace_number_empty '\ta\tb\r\n' $OUT_OF_RANGE 1
replace_fault_case replace_number_not_digits '1\ta\tb\n+2\ta\tb\n' $NOT_A_NUMBER 2
replace_fault_case replace_number_twenty_chars \
  '0000000000000000001\ta\tb\r\n00000000000000000002\ta\tb\r\n' $NOT_A_NUMBER 2
replace_fault_case replace_too_few_fields '1\ta\tb\r\n\r\n2\ta\tb\r\n' '項目数が足りません' 2
# The field count is checked before the number.
replace_fault_case replace_too_many_fields '1\ta\tb\r\nx\ta\tb\tc\r\n' '項目数が多すぎます' 2
# 7 on lines 3 and 8, 3 on lines 4 and 5: the entry of line 3 is the first whose number
# comes again, so line 8 is reported, not line 5. Mixed line ends, the last without one.
replace_fault_case replace_duplicate_reported_at_later_line \
  '1\ta\tb\r\n2\ta\tb\n7\ta\tb\r\n3\ta\tb\n3\ta\tc\r\n4\ta\tb\r\n5\ta\tb\n7\ta\tc\r\n8\ta\tb' '読替番号が重複しています' 8
# 3 on lines 1 and 4, 7 on lines 2, 5 and 9.
replace_fault_case replace_duplicate_three_and_seven \
  '3\ta\tb\r\n7\ta\tb\r\n1\ta\tb\r\n3\ta\tc\r\n7\ta\tc\r\n2\ta\tb\r\n4\ta\tb\r\n5\ta\tb\r\n7\ta\td\r\n6\ta\tb\r\n' \
  '読替番号が重複しています' 4

# ---------------------------------------------------------------------------------------
# Faulty items: each detail with the row and column of the item's START (a TAB counts four
# columns; CR LF, LF CR, CR and LF each end one line). The output file is made and keeps
# only what had been written out of the output buffer. The template comes on stdin; $1
# case, $2 the output file's bytes (printf format), $3 a log line before the fault or
# nothing, $4 detail, $5 row, $6 column, then extra settings lines.
item_fault_case() {
  new_case "$1"
  listing_settings YES out.txt p.tsv "${@:7}"
  p_listing
  printf '%s\n' "$STARTED" ${3:+"$3"} "$(item_fault "$4" "$5" "$6")" "$ENDED" | log
  input template.txt
  printf "$2" | expect out.txt
  exit_code 255
}
# An item after the faulty one is never looked at: no 5021 for it.
printf 'one <%%1<P>0001000000%%>\r\n\tx<%%%%> two <%%1<NONE>0001000000%%>\r\n' |
  item_fault_case item_empty_code '' '' 'ファイル番号が不正です' 2 6
printf '<%%1<NONE>0001000000%%>\r\nline two\r\n\t\t<%%1A000100000%%>' |
  item_fault_case item_short_tag '' "$(not_in_input $SEQ_DIFFERS '<NONE>' 1)" 'タグ名が不正です' 3 9
j $'あ\n\r\rいう<%1<P>0000000000%>' | item_fault_case item_bad_sequence '' '' 'シーケンス番号が不正です' 3 5
printf 'x\r\n\r\n<%%1<P>0001-01000%%>' |
  item_fault_case item_bad_replacement_number '' '' '読替番号が不正です' 3 1 "[REPLACE]" "REPDEF=r.txt"
printf '1\ta\tb\r\n' >item_bad_replacement_number/input/r.txt
printf '<%%1<P>0001000000%%>abc\t<%%1<P>0001005000%%>' |
  item_fault_case item_replacement_without_file '' '' '読替ファイルの指定がないのに読替番号が設定されています' 1 26
# The text before the first item, 25,004 bytes, goes straight to the file; the value and
# the text after it wait in the buffer and are dropped with the fault.
LINES500=$(for ((i = 1; i <= 500; i++)); do printf 'line %03d %s\\r\\n' $i "$(rep . 39)"; done)
printf "${LINES500}val=<%%1<P>0001000000%%> tail <%%1<P>000100012a%%>" |
  item_fault_case item_bad_maximum_after_large_write "${LINES500}val=" '' '最大文字数が不正です' 501 29

# An item left open: a START before its END, or no END at all, is reported at the item's
# START instead of swallowing the next item or the rest of the template.
printf 'A: <%%1 <HTML><HEAD><TITLE> 0001 000 000\r\nB: <%%1<P>0001000000%%>\r\n' |
  item_fault_case item_not_closed_before_next '' '' '項目が閉じていません' 1 4
printf 'x\r\n\t<%%1<P>0001000000%%> y <%%1<P>0001000000\r\nend' |
  item_fault_case item_not_closed_at_end '' '' '項目が閉じていません' 2 26
# A sequence number of five or more digits needs the path's ">" right before it.
printf 'ok <%%1<P>0001000000%%> <%%1<P>x12345000000%%>' |
  item_fault_case item_long_sequence_after_text '' '' 'シーケンス番号が不正です' 1 23

# ---------------------------------------------------------------------------------------
# Sequence numbers past 9999: 10,001 list items of a page, addressed with five digits,
# with leading zeros and with four; a path without ">" keeps four digits; a number no
# record has is a 5021 with its own number.
new_case sequence_numbers_past_9999
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START=<%" "END=%>" \
  "[INFILE]" "COUNT=2" "KIND=HTML" "INFILE1=list.html" "INFILE2=list.html" "[OUTDEF]" "OUTDEF=template.txt" | settings
{
  printf '<UL>'
  for ((i = 1; i <= 10001; i++)); do printf '<LI>%d' $i; done
  printf '</UL>'
} | input list.html
{
  printf 'first=<%%1<UL><LI>0001000000%%> last4=<%%1<UL><LI>9999000000%%>\r\n'
  printf 'five=<%%1<UL><LI>10000000000%%> zeros=<%%1<UL><LI>0000010001000000%%>\r\n'
  printf 'cut=<%%2<ul><li>10001000003%%> none=[<%%1<UL><LI>10002000000%%>]\r\n'
} | input template.txt
printf 'first=1 last4=9999\r\nfive=10000 zeros=10001\r\ncut=100 none=[]\r\n' | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<UL><LI>' 10002)" "$ENDED" | log
exit_code 0

# ---------------------------------------------------------------------------------------
# Two-byte tag names (商品: 8F A4 95 69, a trail byte that is "i"): the classic way
# upper-cases names byte by byte, the standard parser by character, and an item's path is
# upper-cased as the names of the document it names, so the same template finds the value
# both ways, and in a listing written by the standard way.
two_byte_names() {
  new_case "$1"
  printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START=<%" "END=%>" \
    "[INFILE]" "COUNT=1" "KIND=$2" "INFILE1=$3" "${@:4}" "[OUTDEF]" "OUTDEF=template.txt" | settings
  j $'<%1<R><商品>0001000000%>|<%1<r><商品><<id>>0001000000%>|<%1<R><名>0001000000%>' | input template.txt
  j '値|7|' | expect out.txt
  printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<R><名>' 1)" "$ENDED" | log
  exit_code 0
}
two_byte_names two_byte_names_classic XML goods.xml
j $'<r><商品 id="7">値</商品></r>' | input goods.xml
two_byte_names two_byte_names_standard XML goods.xml "PARSER=STANDARD"
j $'<r><商品 id="7">値</商品></r>' | input goods.xml
two_byte_names two_byte_names_standard_listing CSV goods.tsv
j $'1\t1\t1\t<R>\t\r\n1\t2\t1\t<R><商品>\t値\r\n1\t3\t1\t<R><商品><<ID>>\t7\r\n' | input goods.tsv

# ---------------------------------------------------------------------------------------
# A page written in one code is read in it, the classic way too: half-width kana, the code
# page's extensions and a lone kana come through whole from Shift-JIS, EUC and UTF-8, and a
# character the code page lacks (é) is 〓, warned about with 5023.
one_code_page() {
  new_case "$1"
  printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "[SET]" "START=<%" "END=%>" \
    "[INFILE]" "COUNT=1" "KIND=HTML" "INFILE1=page.html" "[OUTDEF]" "OUTDEF=template.txt" | settings
  printf '<HTML><BODY><P>ｶﾀｶﾅ ﾃｽﾄ</P><P>髙橋 ⅰ</P><P>ｱ%s</P></BODY></HTML>\r\n' "$3" | iconv -f UTF-8 -t "$2" |
    input page.html
  printf '<%%1<BODY><P>0001000000%%>|<%%1<BODY><P>0002000000%%>|<%%1<BODY><P>0003000000%%>' | input template.txt
  exit_code 0
}
one_code_page one_code_page_sjis CP932 ''
j 'ｶﾀｶﾅ ﾃｽﾄ|髙橋 ⅰ|ｱ' | expect out.txt
printf '%s\n' "$STARTED" "$ENDED" | log
one_code_page one_code_page_euc EUC-JP-MS ''
j 'ｶﾀｶﾅ ﾃｽﾄ|髙橋 ⅰ|ｱ' | expect out.txt
printf '%s\n' "$STARTED" "$ENDED" | log
one_code_page one_code_page_utf8 UTF-8 ' é'
{ j 'ｶﾀｶﾅ ﾃｽﾄ|髙橋 ⅰ|ｱ '; printf '\x81\xAC'; } | expect out.txt
printf '%s\n' "$STARTED" "5023 変換できない文字を置き換えました FILENAME = [page.html] COUNT = [1]" "$ENDED" | log
: >"$C/expected/needs-converter"  # UTF-8 is read through the system's converter

# ---------------------------------------------------------------------------------------
# UTF-8 as the working code: a page with characters Shift-JIS lacks, a template with a
# byte-order mark and a replacement file in UTF-8, cuts before, inside and after a four-byte
# character (moved back to its first byte), and the log in UTF-8. Both ways of reading.
U8PAGE='<html><head><title>café ü © 𠮷 한국어 😀</title></head><body><p>𠮷野家 Ｐｒｉｃｅ：１２０円</p><p>a&amp;b</p></body></html>'
utf8_fill() {
  new_case "$1"
  printf '%s\n' "[LOG]" "WARLOGOUT=YES" "CODE=UTF8" "[OUTFILE]" "KIND=$2" "OUTFILE=out.txt" "CODE=UTF8" \
    "[SET]" "START=<%" "END=%>" "[INFILE]" "COUNT=1" "KIND=HTML" "INFILE1=page.html" "${@:4}" \
    "[OUTDEF]" "OUTDEF=template.txt" "[REPLACE]" "REPDEF=replace.txt" | crlf | input settings.ini
  printf '%s\r\n' "$U8PAGE" | input page.html
  {
    printf '\xEF\xBB\xBFtitle=<%%1 %s<HEAD><TITLE> 0001 000 000%%>\r\n' "$3"
    # 𠮷 is four bytes: cut to 0 to 3 bytes nothing of it is written, to 4 all of it.
    for cut in 003 004 005 007; do printf 'cut%s=[<%%1%s<body><p>0001000%s%%>]\r\n' $cut "$3" $cut; done
    printf 'rep=<%%1%s<BODY><P>0001001000%%>|<%%1%s<BODY><P>0002002000%%>\r\n' "$3" "$3"
    printf 'missing=[<%%1%s<BODY><É>0001000000%%>]' "$3"
  } | input template.txt
  printf '\xEF\xBB\xBF1\t𠮷野家\t吉野家：\r\n2\ta\tÄ\r\n' | input replace.txt
  exit_code 0
}
utf8_fill utf8_fill_classic NORMAL '<HTML>'
{
  printf 'title=café ü © 𠮷 한국어 😀\r\ncut003=[]\r\ncut004=[𠮷]\r\ncut005=[𠮷]\r\ncut007=[𠮷野]\r\n'
  printf 'rep=吉野家：|Ä\r\nmissing=[]'
} | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<HTML><BODY><É>' 1)" "$ENDED" |
  sed 's|^|YYYY/MM/DD hh:mm:ss |' | crlf | expect ERRLOG.LOG
: >"$C/expected/needs-converter"
utf8_fill utf8_fill_standard NOCRLF '' "PARSER=STANDARD"
{
  printf 'title=café ü © 𠮷 한국어 😀\r\ncut003=[]\r\ncut004=[𠮷]\r\ncut005=[𠮷]\r\ncut007=[𠮷野]\r\n'
  printf 'rep=吉野家：|Ä\r\nmissing=[]'
} | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<BODY><É>' 1)" "$ENDED" |
  sed 's|^|YYYY/MM/DD hh:mm:ss |' | crlf | expect ERRLOG.LOG
: >"$C/expected/needs-converter"

# The page's tag listing written by Marquill in UTF-8 (KIND=CSV), read the classic way.
new_case utf8_csv_from_page
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=CSV" "OUTFILE=out.tsv" "CODE=UTF8" \
  "[INFILE]" "COUNT=1" "KIND=HTML" "INFILE1=page.html" | crlf | input settings.ini
printf '%s\r\n' "$U8PAGE" | input page.html
{
  printf '1\t1\t1\t<HTML>\t\r\n1\t2\t1\t<HTML><HEAD>\t\r\n'
  printf '1\t3\t1\t<HTML><HEAD><TITLE>\tcafé ü © 𠮷 한국어 😀\r\n1\t4\t1\t<HTML><BODY>\t\r\n'
  printf '1\t5\t1\t<HTML><BODY><P>\t𠮷野家 Ｐｒｉｃｅ：１２０円\r\n1\t6\t2\t<HTML><BODY><P>\ta&amp;b\r\n'
} | expect out.tsv
absent ERRLOG.LOG
exit_code 0
: >"$C/expected/needs-converter"

# The working code UTF-8 with the log in Shift-JIS (its default): the log's path holds a
# character Shift-JIS lacks, written there as 〓; the output keeps it.
new_case utf8_output_sjis_log
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NORMAL" "OUTFILE=out.txt" "CODE=UTF8" "[SET]" "START=<%" \
  "END=%>" "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=l.tsv" "[OUTDEF]" "OUTDEF=template.txt" | crlf | input settings.ini
printf '1\t1\t1\t<É>\tété\r\n' | input l.tsv
printf '<%%1<É>0001000000%%>|<%%1<É>0002000000%%>' | input template.txt
printf 'été|' | expect out.txt
printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<〓>' 2)" "$ENDED" | log
: >"$C/expected/needs-converter"
exit_code 0

# A CSV listing in UTF-8, written from a page and read back under the same setting: every
# code point class, a value over the work area's 4,096 bytes, a CR inside a value made a space.
LONGU8=$(rep 'é𠮷😀한' 400)
new_case utf8_csv_round_trip
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=CSV" "OUTFILE=out.tsv" "CODE=UTF8" \
  "[INFILE]" "COUNT=2" "KIND=CSV" "INFILE1=a.tsv" "INFILE2=b.tsv" | crlf | input settings.ini
printf '1\t1\t1\t<P>\tA é ©\r\n1\t2\t1\t<P><Ü>\t%s\r\n' "$LONGU8" | input a.tsv
printf '2\t1\t1\t<한>\t𠮷\r😀\r\n' | input b.tsv
printf '1\t1\t1\t<P>\tA é ©\r\n1\t2\t1\t<P><Ü>\t%s\r\n2\t1\t1\t<한>\t𠮷 😀\r\n' "$LONGU8" | expect out.tsv
absent ERRLOG.LOG
exit_code 0
: >"$C/expected/needs-converter"  # CODE=UTF8 is refused where the system cannot convert

# ---------------------------------------------------------------------------------------
# Output far over the 20,480-byte buffer, complete and in order: a piece that fills the
# buffer to exactly its size, values of 20,480 and 20,479 bytes, and a thousand short lines.
new_case large_output
listing_settings NO out.txt big.tsv
F20480=$(for ((k = 0; k < 2560; k++)); do printf 'F%06d|' $k; done)
N20479=$(for ((k = 0; k < 2559; k++)); do printf 'N%06d|' $k; done)NNNNNNN
printf '1\t1\t1\t<X>\tx\r\n1\t2\t1\t<F>\t%s\r\n1\t3\t1\t<N>\t%s\r\n1\t4\t1\t<S>\tline value\r\n' \
  "$F20480" "$N20479" | input big.tsv
{
  rep A 20479
  printf '<%%1<X>0001000000%%><%%1<F>0001000000%%><%%1<N>0001000000%%>'
  for ((i = 1; i <= 1000; i++)); do printf '%04d:<%%1<S>0001000%03d%%>\r\n' $i $((i % 12)); done
  printf 'end'
} | input template.txt
{
  rep A 20479
  printf 'x%s%s' "$F20480" "$N20479"
  for ((i = 1; i <= 1000; i++)); do
    cut=$((i % 12))
    value='line value'
    ((cut == 0 || cut >= 10)) || value=${value:0:cut}
    printf '%04d:%s\r\n' $i "$value"
  done
  printf 'end'
} | expect out.txt
absent ERRLOG.LOG
exit_code 0

# ---------------------------------------------------------------------------------------
# KIND=CSV from HTML documents: every record of document 1, none of the tagless document 2,
# then document 3; values with TAB, CR LF and LF CR made single spaces, a long value.
LONG_TEXT=$(rep $'日本語テキスト 0123456789\r\n' 450)END
LONG_CLEANED=$(rep '日本語テキスト 0123456789 ' 450)END
documents_listing() {
  printf '1\t1\t1\t<BODY>\t\r\n1\t2\t1\t<BODY><TABLE>\t\r\n1\t3\t1\t<BODY><TABLE><<BORDER>>\t1\r\n'
  printf '1\t4\t1\t<BODY><TABLE><TR>\t\r\n1\t5\t1\t<BODY><TABLE><TR><TD>\tA\r\n1\t6\t2\t<BODY><TABLE><TR><TD>\tB\r\n'
  printf '1\t7\t1\t<BODY><TABLE><TR><TD><<ALIGN>>\tright\r\n1\t8\t1\t<BODY><P>\tline one line two three\r\n'
  printf '1\t9\t1\t<BODY><P><<TITLE>>\ttab here\r\n'
  j $'1\t10\t2\t<BODY><P>\t東京 本店\r\n'
  j $'1\t11\t1\t<BODY><PRE>\t'"$LONG_CLEANED"$'\r\n'
  printf '3\t1\t1\t<HTML>\t\r\n3\t2\t1\t<HTML><BODY>\t\r\n3\t3\t1\t<HTML><BODY><P>\tlower\r\n'
}
new_case csv_output_documents
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=CSV" "OUTFILE=out.tsv" \
  "[INFILE]" "COUNT=3" "KIND=HTML" "INFILE1=doc1.html" "INFILE2=doc2.html" "INFILE3=doc3.html" | settings
{
  printf '<HTML><BODY><TABLE BORDER=1><TR><TD>A</TD><TD ALIGN='"'right'"'>B</TD></TR></TABLE>\r\n'
  printf '<P TITLE="tab\there">line one\r\nline two\n\rthree</P>\r\n'
  j $'<P>東京 本店</P>\r\n<PRE>'"$LONG_TEXT"$'</PRE>\r\n</BODY></HTML>\r\n'
} | input doc1.html
printf 'plain text, no tags\r\n' | input doc2.html
printf '<html><body><p>lower</p></body></html>\r\n' | input doc3.html
documents_listing | expect out.tsv
printf '%s\n' "$STARTED" "$ENDED" | log
exit_code 0

# That listing read back with [INFILE] KIND=CSV and written again: the same bytes.
new_case csv_round_trip
printf '%s\n' "[LOG]" "WARLOGOUT=NO" "[OUTFILE]" "KIND=CSV" "OUTFILE=out.tsv" \
  "[INFILE]" "COUNT=3" "KIND=CSV" "INFILE1=in.tsv" "INFILE2=none.tsv" "INFILE3=none.tsv" | settings
documents_listing | input in.tsv
input none.tsv </dev/null
documents_listing | expect out.tsv
absent ERRLOG.LOG
exit_code 0

# ---------------------------------------------------------------------------------------
# The output file cannot be written: 1002 and a non-zero exit for each kind.
# NORMAL: the only write is the buffer's at the end, after the 5021 of the second item.
new_case write_fail_normal
listing_settings YES /dev/full p.tsv
p_listing
printf 'x=<%%1<P>0001000000%%> <%%1<NONE>0001000000%%>\r\n' | input template.txt
printf '%s\n' "$STARTED" "$(not_in_input $SEQ_DIFFERS '<NONE>' 1)" "$WRITE_FAILED" "$ENDED" | log
exit_code 255

# NOCRLF: the first value is too big for the buffer and fails at once; the missing and the
# faulty item after it are never reached.
new_case write_fail_nocrlf
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=NOCRLF" "OUTFILE=/dev/full" "[SET]" "START=<%" "END=%>" \
  "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=big.tsv" "[OUTDEF]" "OUTDEF=template.txt" | settings
{
  printf '1\t1\t1\t<BIG>\t'
  rep $'a\rb ' 6250
  printf '\r\n1\t2\t1\t<P>\tABCDE\r\n'
} | input big.tsv
printf '<%%1<BIG>0001000000%%><%%1<NONE>0001000000%%><%%1<P>0000000000%%>' | input template.txt
printf '%s\n' "$STARTED" "$WRITE_FAILED" "$ENDED" | log
exit_code 255

# The "?" of a number without an entry is the write that fails: the run ends there with
# 1002, and no 5022 follows the failed write.
new_case write_fail_at_missing_replacement
listing_settings YES /dev/full p.tsv "[REPLACE]" "REPDEF=r.txt"
p_listing
printf '1\tA\tB\r\n' | input r.txt
{
  rep A 20479
  printf '<%%1<P>0001009000%%>'
} | input template.txt
printf '%s\n' "$STARTED" "$WRITE_FAILED" "$ENDED" | log
exit_code 255

new_case write_fail_csv
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=CSV" "OUTFILE=/dev/full" \
  "[INFILE]" "COUNT=1" "KIND=CSV" "INFILE1=p.tsv" | settings
p_listing
printf '%s\n' "$STARTED" "$WRITE_FAILED" "$ENDED" | log
exit_code 255

# An output file that cannot be made: 1003 with its name, after both definition files
# were read.
new_case output_file_cannot_be_made
listing_settings YES missing-folder/out.txt p.tsv "[REPLACE]" "REPDEF=r.txt"
p_listing
printf '1\tA\tB\r\n' | input r.txt
printf 'x=<%%1<P>0001001000%%>\r\n' | input template.txt
printf '%s\n' "$STARTED" '1003 ファイルの読込みに失敗しました FILENAME = [missing-folder/out.txt]' "$ENDED" | log
exit_code 255

# A listing of more than half a megabyte from a small document of 600 nested elements
# (each record carries its whole path): the writing fails while the records are still
# being written, not only when the file is closed.
new_case write_fail_csv_deep_document
printf '%s\n' "[LOG]" "WARLOGOUT=YES" "[OUTFILE]" "KIND=CSV" "OUTFILE=/dev/full" \
  "[INFILE]" "COUNT=1" "KIND=HTML" "INFILE1=deep.html" | settings
rep '<D>' 600 | input deep.html
printf '%s\n' "$STARTED" "$WRITE_FAILED" "$ENDED" | log
exit_code 255

# ---------------------------------------------------------------------------------------
# Items longer than 4096 bytes: a 5,100-byte tag path, in capitals and in lower case, and
# a short code spread over 5,000 blanks. The 5021 of a missing long path is cut with the
# log line's text at 256 bytes.
new_case long_item_code
listing_settings YES out.txt deep.tsv
P5100=$(rep '<D>' 1700)
printf '1\t1\t1\t%s\tdeep value\r\n1\t2\t1\t<P>\tABCDE\r\n' "$P5100" | input deep.tsv
{
  printf 'deep=<%%1%s0001000000%%>\r\n' "$P5100"
  printf 'spaced=<%%1<P>'
  rep $' \t\r\n' 1250
  printf '0001000000%%>\r\n'
  printf 'lower=<%%1%s0001000000%%>\r\n' "$(rep '<d>' 1700)"
  printf 'missing=[<%%1%s<X>0001000000%%>]\r\n' "$P5100"
} | input template.txt
printf 'deep=deep value\r\nspaced=ABCDE\r\nlower=deep value\r\nmissing=[]\r\n' | expect out.txt
WORDS="入力ファイルに存在しません CONTENTS = [$SEQ_DIFFERS] TAGNAME = ["
KEPT=$((256 - $(j "$WORDS" | wc -c)))
printf '%s\n' "$STARTED" "5021 $WORDS${P5100:0:KEPT}" "$ENDED" | log
exit_code 0
