#include "bench/html_generator.h"

#include <cstdio>
#include <cstring>

namespace mq::bench {
namespace {

// Sections are built in a fixed stage and handed to the sink in large pieces. A section
// that would carry the document past its size is taken back, so the stage must hold the
// unflushed part (below kFlushAt) plus the largest section.
constexpr long kStageSize = 4L << 20;
constexpr long kFlushAt = 1L << 20;
// Nested tables are only started while the section is below this size: it bounds the
// largest section whatever the random stream says.
constexpr long kNestingBudget = 256L << 10;

constexpr char kHead1[] = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<HTML>\r\n<HEAD>\r\n";
constexpr char kHead2[] = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=Shift_JIS\">\r\n<TITLE>";
constexpr char kHead3[] = "</TITLE>\r\n</HEAD>\r\n<BODY BGCOLOR=\"#FFFFFF\" TEXT=#000000 LINK='#0000CC'>\r\n<H1>";
constexpr char kHead4[] = "</H1>\r\n";
constexpr char kTail[] = "</BODY>\r\n</HTML>\r\n";
constexpr char kPaddingOpen[] = "<!-- padding";
constexpr char kPaddingClose[] = " -->\r\n";

constexpr const char* kAsciiWords[] = {"price", "stock", "new",   "item", "model", "size", "color", "type",
                                       "DX",    "PRO",   "mini",  "OK",   "ID",    "set",  "sale",  "shop",
                                       "mail",  "web",   "Ver.2", "No.1", "LED",   "USB",  "A4",    "TEL"};
constexpr uint32_t kAsciiWordCount = sizeof(kAsciiWords) / sizeof(kAsciiWords[0]);

struct Stage {
  char bytes[kStageSize];
  long fill;          // bytes in the stage
  long flushed;       // bytes already given to the sink
  long sectionStart;  // stage offset where the current section began
  bool overflow;
  bool lowerCase;  // the current section writes its tag and option names in lower case
  BenchRandom random;
  DocumentSink sink;
  void* context;
};
Stage gStage;

uint32_t below(uint32_t bound) { return randomBelow(&gStage.random, bound); }

void put(const char* bytes, long length) {
  if (gStage.fill + length > kStageSize) {
    gStage.overflow = true;
    return;
  }
  std::memcpy(gStage.bytes + gStage.fill, bytes, static_cast<size_t>(length));
  gStage.fill += length;
}

void put(const char* text) { put(text, static_cast<long>(std::strlen(text))); }

void putByte(char byte) { put(&byte, 1); }

void putNumber(long value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%ld", value);
  put(digits, n);
}

// A price such as 12,800: thousands grouped by commas.
void putPrice(long value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%ld", value);
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) putByte(',');
    putByte(digits[i]);
  }
}

// Tag and option names in the section's case; values never change case.
void putName(const char* name) {
  for (const char* c = name; *c != '\0'; ++c) {
    putByte(gStage.lowerCase && *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c);
  }
}

void openTag(const char* name) {
  putByte('<');
  putName(name);
}

void endTag(const char* name) {
  put("</");
  putName(name);
  putByte('>');
}

// An option with its value in double quotes, single quotes or none (kUnquoted).
constexpr char kUnquoted = '\0';
void putOption(const char* name, const char* value, char quote) {
  putByte(' ');
  putName(name);
  putByte('=');
  if (quote != kUnquoted) putByte(quote);
  put(value);
  if (quote != kUnquoted) putByte(quote);
}

void putFlag(const char* name) {
  putByte(' ');
  putName(name);
}

void putPair(int row, int cell) {
  unsigned char pair[2];
  jisToShiftJis(row, cell, &pair[0], &pair[1]);
  put(reinterpret_cast<const char*>(pair), 2);
}

// Kanji of the first level (rows 0x30..0x4F; row 0x4F ends at cell 0x53), then kana of
// the hiragana row 0x24 (cells 0x21..0x73): every pair is an assigned character.
void putJapaneseWord() {
  const uint32_t kanji = 1 + below(3);
  for (uint32_t i = 0; i < kanji; ++i) {
    const int row = 0x30 + static_cast<int>(below(0x20));
    putPair(row, 0x21 + static_cast<int>(below(row == 0x4F ? 0x33 : 94)));
  }
  const uint32_t kana = below(4);
  for (uint32_t i = 0; i < kana; ++i) putPair(0x24, 0x21 + static_cast<int>(below(0x53)));
}

void putJapanese(uint32_t words) {
  for (uint32_t i = 0; i < words; ++i) putJapaneseWord();
}

// Japanese words run together; ASCII words and numbers stand between blanks.
void putSentence(uint32_t tokens) {
  bool afterBlank = true;
  for (uint32_t i = 0; i < tokens; ++i) {
    const uint32_t kind = below(20);
    if (kind < 14) {
      putJapaneseWord();
      afterBlank = false;
      continue;
    }
    if (!afterBlank) putByte(' ');
    afterBlank = true;
    if (kind < 17) {
      put(kAsciiWords[below(kAsciiWordCount)]);
    } else if (kind < 19) {
      putPrice(static_cast<long>(below(200000)));
    } else {
      put("&amp;");
    }
    putByte(' ');
  }
}

void putHref(long id) {
  char value[96];
  const uint32_t form = below(3);
  if (form == 0) {
    std::snprintf(value, sizeof value, "item.cgi?id=%ld&amp;c=%u", id, below(50));
    putOption("HREF", value, '"');
  } else if (form == 1) {
    std::snprintf(value, sizeof value, "list/%ld.html", id);
    putOption("HREF", value, kUnquoted);
  } else {
    std::snprintf(value, sizeof value, "http://www.example.co.jp/shop/%u/", below(1000));
    putOption("HREF", value, '\'');
  }
}

void putLink(long id) {
  openTag("A");
  putHref(id);
  if (below(4) == 0) {
    put(" TITLE=\"");
    putJapanese(1 + below(2));
    putByte('"');
  }
  putByte('>');
  putJapanese(1 + below(2));
  endTag("A");
}

void putImage(long id) {
  char value[48];
  openTag("IMG");
  std::snprintf(value, sizeof value, "img/%ld.gif", id % 5000);
  putOption("SRC", value, '"');
  put(" ALT=\"");
  putJapanese(1 + below(2));
  putByte('"');
  putOption("WIDTH", "16", kUnquoted);
  putOption("HEIGHT", "16", kUnquoted);
  putByte('>');
}

void putTable(int depth, long id);

void putCellOptions() {
  switch (below(12)) {
    case 0:
    case 1:
      putOption("ALIGN", "right", kUnquoted);
      break;
    case 2:
      putOption("ALIGN", "center", '"');
      break;
    case 3:
      putOption("ALIGN", "left", '\'');
      break;
    case 4:
      putFlag("NOWRAP");
      break;
    case 5:
      putOption("VALIGN", "top", kUnquoted);
      putFlag("NOWRAP");
      break;
    case 6:
      putOption("WIDTH", "20%", '"');
      break;
    case 7:
      putOption("BGCOLOR", "#FFFFEE", kUnquoted);
      break;
    default:
      break;
  }
}

void putCellContent(int depth, long id) {
  const uint32_t kind = below(100);
  const bool roomToNest =
      depth < kDeepestTable && gStage.fill - gStage.sectionStart < kNestingBudget && kind >= (depth == 1 ? 93u : 96u);
  if (roomToNest) {
    put("\r\n");
    putTable(depth + 1, id);
  } else if (kind < 40 || kind >= 93) {
    putSentence(1 + below(4));
  } else if (kind < 55) {
    putPrice(static_cast<long>(below(1000000)));
  } else if (kind < 63) {
    putSentence(1 + below(3));
    openTag("BR");
    putByte('>');
    putSentence(1 + below(3));
  } else if (kind < 73) {
    putLink(id);
  } else if (kind < 81) {
    // Text after the bold child: a second text of the same cell.
    putSentence(1 + below(2));
    openTag("B");
    putByte('>');
    putJapanese(1);
    endTag("B");
    putSentence(1 + below(2));
  } else if (kind < 86) {
    putImage(id);
  } else if (kind < 90) {
    put("&nbsp;");
  } else {
    char code[16];
    std::snprintf(code, sizeof code, "XR-%04u", below(10000));
    put(code);
  }
}

void putTable(int depth, long id) {
  const uint32_t rows = depth == 1 ? 5 + below(36) : 2 + below(4);
  const uint32_t columns = depth == 1 ? 3 + below(6) : 2 + below(3);
  openTag("TABLE");
  if (below(4) != 0) putOption("BORDER", depth == 1 ? "1" : "0", kUnquoted);
  if (below(2) == 0) putOption("CELLPADDING", "2", '"');
  if (below(3) == 0) putOption("CELLSPACING", "0", '\'');
  if (depth == 1) putOption("WIDTH", "100%", '"');
  put(">\r\n");
  if (depth == 1 && below(10) < 3) {
    openTag("CAPTION");
    putByte('>');
    putSentence(2 + below(4));
    endTag("CAPTION");
    put("\r\n");
  }
  if (depth == 1 || below(2) == 0) {
    openTag("TR");
    putByte('>');
    for (uint32_t c = 0; c < columns; ++c) {
      openTag("TH");
      if (below(4) == 0) putOption("BGCOLOR", "#CCCCFF", '"');
      putByte('>');
      putJapanese(1);
      endTag("TH");
    }
    endTag("TR");
    put("\r\n");
  }
  for (uint32_t r = 0; r < rows; ++r) {
    openTag("TR");
    if (below(5) == 0) putOption("BGCOLOR", "#F0F0F0", '"');
    putByte('>');
    for (uint32_t c = 0; c < columns; ++c) {
      openTag("TD");
      putCellOptions();
      putByte('>');
      putCellContent(depth, id * 64 + static_cast<long>(r) * 8 + static_cast<long>(c));
      endTag("TD");
    }
    endTag("TR");
    put("\r\n");
  }
  endTag("TABLE");
  put("\r\n");
}

void putParagraph(long id) {
  openTag("P");
  if (below(4) == 0) putOption("ALIGN", "left", kUnquoted);
  putByte('>');
  const uint32_t lines = 1 + below(4);
  for (uint32_t line = 0; line < lines; ++line) {
    if (line > 0) put("\r\n");
    putSentence(4 + below(10));
    switch (below(6)) {
      case 0:
        openTag("B");
        putByte('>');
        putJapanese(1 + below(2));
        endTag("B");
        putSentence(1 + below(4));
        break;
      case 1:
        putLink(id + static_cast<long>(line));
        putSentence(1 + below(4));
        break;
      case 2:
        openTag("BR");
        putByte('>');
        break;
      default:
        break;
    }
  }
  endTag("P");
  put("\r\n");
}

void putListItems(uint32_t items, long id) {
  for (uint32_t i = 0; i < items; ++i) {
    openTag("LI");
    putByte('>');
    if (below(3) == 0) {
      putLink(id + static_cast<long>(i));
    } else {
      putSentence(2 + below(6));
    }
    put("\r\n");
  }
}

void putList(long id) {
  const char* kind = below(4) == 0 ? "OL" : "UL";
  openTag(kind);
  if (below(3) == 0) putOption("TYPE", kind[0] == 'O' ? "1" : "disc", kUnquoted);
  put(">\r\n");
  putListItems(3 + below(8), id);
  if (below(5) == 0) {
    // A list inside the last item.
    openTag("LI");
    putByte('>');
    putSentence(2 + below(3));
    put("\r\n");
    openTag("UL");
    put(">\r\n");
    putListItems(2 + below(4), id + 100);
    endTag("UL");
    put("\r\n");
  }
  endTag(kind);
  put("\r\n");
}

void putForm(long id) {
  char value[32];
  openTag("FORM");
  putOption("ACTION", "/cgi-bin/order.cgi", '"');
  putOption("METHOD", "POST", kUnquoted);
  put(">\r\n");
  openTag("SELECT");
  std::snprintf(value, sizeof value, "qty%ld", id);
  putOption("NAME", value, kUnquoted);
  putOption("SIZE", "1", '\'');
  put(">\r\n");
  const uint32_t options = 2 + below(7);
  const uint32_t selected = below(options);
  for (uint32_t i = 0; i < options; ++i) {
    openTag("OPTION");
    std::snprintf(value, sizeof value, "%u", i + 1);
    putOption("VALUE", value, i % 2 == 0 ? kUnquoted : '"');
    if (i == selected) putFlag("SELECTED");
    putByte('>');
    putJapanese(1 + below(2));
    put("\r\n");
  }
  endTag("SELECT");
  put("\r\n");
  openTag("INPUT");
  putOption("TYPE", "hidden", kUnquoted);
  putOption("NAME", "id", '"');
  std::snprintf(value, sizeof value, "%ld", id);
  putOption("VALUE", value, kUnquoted);
  put(">\r\n");
  openTag("INPUT");
  putOption("TYPE", "submit", kUnquoted);
  put(" VALUE=\"");
  putJapanese(1);
  put("\">\r\n");
  endTag("FORM");
  put("\r\n");
}

void putComment(long id) {
  char label[64];
  std::snprintf(label, sizeof label, "<!-- section %06ld ", id);
  put(label);
  putSentence(2 + below(5));
  const uint32_t kind = below(4);
  if (kind == 0) {
    // A ">" inside a comment is harmless in HTML.
    put(" > ");
    putNumber(static_cast<long>(below(100)));
  } else if (kind == 1) {
    put("\r\n  ");
    putSentence(3 + below(5));
    put("\r\n");
  }
  put(" -->\r\n");
}

void putSection(long id) {
  gStage.lowerCase = below(5) == 0;
  putComment(id);
  openTag("H2");
  put(">");
  openTag("A");
  char name[24];
  std::snprintf(name, sizeof name, "s%ld", id);
  putOption("NAME", name, '"');
  putByte('>');
  putJapanese(2 + below(3));
  endTag("A");
  endTag("H2");
  put("\r\n");
  const uint32_t paragraphs = 1 + below(3);
  for (uint32_t i = 0; i < paragraphs; ++i) putParagraph(id * 16 + static_cast<long>(i));
  if (below(10) != 0) putTable(1, id);
  if (below(10) < 6) putList(id * 16);
  if (below(10) < 4) putForm(id);
  if (below(3) == 0) putParagraph(id * 16 + 8);
}

int flushStage() {
  if (gStage.fill == 0) return 0;
  if (gStage.sink(gStage.context, gStage.bytes, gStage.fill) != 0) return -1;
  gStage.flushed += gStage.fill;
  gStage.fill = 0;
  return 0;
}

// A comment of exactly `length` bytes (at least the opening and closing marks), its
// filler broken into CR LF lines.
int putPadding(long length) {
  put(kPaddingOpen);
  const long filler = length - static_cast<long>(sizeof kPaddingOpen - 1) - static_cast<long>(sizeof kPaddingClose - 1);
  for (long i = 0; i < filler; ++i) {
    const long column = i % 78;
    char byte = '.';
    if (column == 0) byte = ' ';
    if (column == 76 && i + 1 < filler) byte = '\r';
    if (column == 77) byte = '\n';
    putByte(byte);
    if (gStage.fill >= kFlushAt && flushStage() != 0) return -1;
  }
  put(kPaddingClose);
  return 0;
}

}  // namespace

uint64_t nextRandom(BenchRandom* random) {
  random->state += 0x9E3779B97F4A7C15ULL;
  uint64_t z = random->state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

uint32_t randomBelow(BenchRandom* random, uint32_t bound) {
  return static_cast<uint32_t>(((nextRandom(random) >> 32) * bound) >> 32);
}

void jisToShiftJis(int row, int cell, unsigned char* lead, unsigned char* trail) {
  int second = cell + ((row & 1) != 0 ? 0x1F : 0x7D);
  if (second >= 0x7F) ++second;
  int first = ((row - 0x21) >> 1) + 0x81;
  if (first > 0x9F) first += 0x40;
  *lead = static_cast<unsigned char>(first);
  *trail = static_cast<unsigned char>(second);
}

int generateHtml(long sizeBytes, DocumentSink sink, void* context) {
  if (sizeBytes < kSmallestDocument) return -1;
  gStage.fill = 0;
  gStage.flushed = 0;
  gStage.sectionStart = 0;
  gStage.overflow = false;
  gStage.lowerCase = false;
  gStage.random.state = kDocumentSeed;
  gStage.sink = sink;
  gStage.context = context;

  put(kHead1);
  put(kHead2);
  putSentence(3 + below(4));
  put(kHead3);
  putJapanese(2 + below(3));
  put(kHead4);

  const long tail = static_cast<long>(sizeof kTail - 1);
  const long smallestPadding = static_cast<long>(sizeof kPaddingOpen - 1 + sizeof kPaddingClose - 1);
  for (long id = 1;; ++id) {
    gStage.sectionStart = gStage.fill;
    putSection(id);
    if (gStage.overflow) return -1;
    const long total = gStage.flushed + gStage.fill;
    if (total + tail == sizeBytes) break;
    if (total + tail + smallestPadding > sizeBytes) {
      // The section does not fit: take it back and fill the rest with a comment.
      gStage.fill = gStage.sectionStart;
      if (putPadding(sizeBytes - gStage.flushed - gStage.fill - tail) != 0) return -1;
      break;
    }
    if (gStage.fill >= kFlushAt && flushStage() != 0) return -1;
  }
  put(kTail);
  if (gStage.overflow) return -1;
  return flushStage();
}

}  // namespace mq::bench
