#include "bench/html_generator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mq::bench {
namespace {

int appendTo(void* context, const char* bytes, long length) {
  static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(length));
  return 0;
}

std::string document(long size) {
  std::string text;
  EXPECT_EQ(generateHtml(size, appendTo, &text), 0);
  return text;
}

// What a walk over the document found; the counts show that it has the promised shape.
struct Shape {
  long kanji = 0, kana = 0, comments = 0, commentsWithAngle = 0;
  long doubleQuoted = 0, singleQuoted = 0, unquoted = 0, withoutValue = 0, lowerCaseTags = 0;
  long tables = 0, cells = 0, items = 0, options = 0, links = 0;
  int deepestTable = 0;
};

bool isNameByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::string upper(std::string name) {
  for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return name;
}

// Bytes and lines: CR LF line ends only, no other control byte, and every byte above 0x7F
// the first of a Shift-JIS pair of first-level kanji or hiragana (decoded independently).
std::string checkBytes(const std::string& doc, Shape* shape) {
  for (size_t i = 0; i < doc.size(); ++i) {
    const auto b = static_cast<unsigned char>(doc[i]);
    if (b == '\r') {
      if (i + 1 >= doc.size() || doc[i + 1] != '\n') return "CR without LF at " + std::to_string(i);
      ++i;
      continue;
    }
    if (b == '\n') return "LF without CR at " + std::to_string(i);
    if (b < 0x20 || b == 0x7F) return "control byte at " + std::to_string(i);
    if (b < 0x80) continue;
    if (b > 0x9F || i + 1 >= doc.size()) return "not a first byte at " + std::to_string(i);
    const auto t = static_cast<unsigned char>(doc[++i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return "not a second byte at " + std::to_string(i);
    int row = 2 * (b - 0x71) + 1;
    const int s = t >= 0x80 ? t - 1 : t;
    int cell = s - 0x1F;
    if (s >= 0x9E) {
      cell = s - 0x7D;
      ++row;
    }
    if (row == 0x24 && cell <= 0x73) {
      ++shape->kana;
    } else if ((row >= 0x30 && row <= 0x4E) || (row == 0x4F && cell <= 0x53)) {
      ++shape->kanji;
    } else {
      return "unassigned character at " + std::to_string(i - 1);
    }
  }
  return "";
}

// The markup as the listing tool's HTML dialect takes it, and stricter: no ">" outside
// tags and comments, names of letters and digits, every value well formed, and every end
// tag closing the innermost open element (elements without end tags are never opened).
std::string checkMarkup(const std::string& doc, Shape* shape) {
  const std::vector<std::string> withoutEnd = {"META", "BR", "IMG", "INPUT", "LI", "OPTION"};
  std::vector<std::string> open;
  size_t i = 0;
  auto at = [&](const std::string& what) { return what + " at " + std::to_string(i); };
  while (i < doc.size()) {
    if (doc[i] == '>') return at("'>' outside tags");
    if (doc[i] != '<') {
      ++i;
      continue;
    }
    if (doc.compare(i, 4, "<!--") == 0) {
      const size_t end = doc.find("-->", i + 4);
      if (end == std::string::npos) return at("unclosed comment");
      const std::string body = doc.substr(i + 4, end - i - 4);
      if (body.find("--") != std::string::npos) return at("'--' inside a comment");
      ++shape->comments;
      if (body.find('>') != std::string::npos) ++shape->commentsWithAngle;
      i = end + 3;
      continue;
    }
    if (doc.compare(i, 2, "<!") == 0) {
      const size_t end = doc.find('>', i);
      if (i != 0 || end == std::string::npos || doc.find('<', i + 1) < end) return at("declaration not at the head");
      i = end + 1;
      continue;
    }
    const bool endTag = doc.compare(i, 2, "</") == 0;
    i += endTag ? 2 : 1;
    const size_t nameStart = i;
    while (i < doc.size() && isNameByte(doc[i])) ++i;
    if (i == nameStart) return at("tag without a name");
    const std::string written = doc.substr(nameStart, i - nameStart);
    const std::string name = upper(written);
    if (written != name) ++shape->lowerCaseTags;
    if (endTag) {
      if (i >= doc.size() || doc[i] != '>') return at("end tag with more than a name");
      if (open.empty() || open.back() != name) return at("end tag " + name + " closes another element");
      open.pop_back();
      ++i;
      continue;
    }
    while (i < doc.size() && doc[i] == ' ') {
      ++i;
      const size_t optionStart = i;
      while (i < doc.size() && (isNameByte(doc[i]) || doc[i] == '-')) ++i;
      if (i == optionStart) return at("blank without an option");
      const std::string option = upper(doc.substr(optionStart, i - optionStart));
      if (option == "HREF") ++shape->links;
      if (doc[i] != '=') {
        ++shape->withoutValue;
        continue;
      }
      ++i;
      if (doc[i] == '"' || doc[i] == '\'') {
        const size_t close = doc.find(doc[i], i + 1);
        if (close == std::string::npos || doc.find('<', i) < close) return at("bad quoted value");
        ++(doc[i] == '"' ? shape->doubleQuoted : shape->singleQuoted);
        i = close + 1;
        continue;
      }
      const size_t valueStart = i;
      while (i < doc.size() && doc[i] != ' ' && doc[i] != '>' && doc[i] != '<' && doc[i] != '"' && doc[i] != '\'' &&
             doc[i] != '\r')
        ++i;
      if (i == valueStart) return at("empty unquoted value");
      ++shape->unquoted;
    }
    if (i >= doc.size() || doc[i] != '>') return at("tag not closed by '>'");
    ++i;
    if (name == "TABLE") ++shape->tables;
    if (name == "TD") ++shape->cells;
    if (name == "LI") ++shape->items;
    if (name == "OPTION") ++shape->options;
    bool opens = true;
    for (const std::string& empty : withoutEnd) opens = opens && name != empty;
    if (!opens) continue;
    open.push_back(name);
    int tables = 0;
    for (const std::string& element : open) tables += element == "TABLE" ? 1 : 0;
    if (tables > shape->deepestTable) shape->deepestTable = tables;
  }
  if (!open.empty()) return "element " + open.back() + " left open";
  return "";
}

TEST(BenchRandomNumbers, FollowTheSplitmixSequenceAndStayBelowTheBound) {
  BenchRandom random{0};
  EXPECT_EQ(nextRandom(&random), 0xE220A8397B1DCDAFULL);
  EXPECT_EQ(nextRandom(&random), 0x6E789E6AA1B965F4ULL);

  BenchRandom draws{kDocumentSeed};
  std::vector<int> seen(7, 0);
  for (int i = 0; i < 7000; ++i) {
    const uint32_t n = randomBelow(&draws, 7);
    ASSERT_LT(n, 7u);
    ++seen[n];
  }
  for (int count : seen) EXPECT_GT(count, 800);  // about 1000 each: no value is starved
  EXPECT_EQ(randomBelow(&draws, 1), 0u);
}

TEST(BenchShiftJis, PairsDecodeBackToTheirRowAndCell) {
  unsigned char lead = 0, trail = 0;
  jisToShiftJis(0x46, 0x7C, &lead, &trail);  // the first kanji of "Japan"
  EXPECT_EQ(lead, 0x93);
  EXPECT_EQ(trail, 0xFA);
  jisToShiftJis(0x24, 0x22, &lead, &trail);  // the hiragana a
  EXPECT_EQ(lead, 0x82);
  EXPECT_EQ(trail, 0xA0);
  for (int row = 0x21; row <= 0x7E; ++row) {
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      jisToShiftJis(row, cell, &lead, &trail);
      ASSERT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << row << " " << cell;
      ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << row << " " << cell;
      const int base = lead <= 0x9F ? 0x71 : 0xB1;
      int backRow = 2 * (lead - base) + 1;
      const int s = trail >= 0x80 ? trail - 1 : trail;
      int backCell = s - 0x1F;
      if (s >= 0x9E) {
        backCell = s - 0x7D;
        ++backRow;
      }
      ASSERT_EQ(backRow, row);
      ASSERT_EQ(backCell, cell);
    }
  }
}

TEST(BenchDocument, HasExactlyTheAskedSizeAndIsWellFormed) {
  for (long size : {kSmallestDocument, kSmallestDocument + 1, 100003L, 1000000L + 7, 3000000L}) {
    const std::string doc = document(size);
    ASSERT_EQ(static_cast<long>(doc.size()), size);
    EXPECT_EQ(doc.compare(0, 9, "<!DOCTYPE"), 0);
    EXPECT_EQ(doc.compare(doc.size() - 18, 18, "</BODY>\r\n</HTML>\r\n"), 0);
    Shape shape;
    EXPECT_EQ(checkBytes(doc, &shape), "") << size;
    EXPECT_EQ(checkMarkup(doc, &shape), "") << size;
  }
}

TEST(BenchDocument, PaddingOfEveryLengthKeepsItsLinesWhole) {
  // Small documents are head, padding and tail: each size moves the padding's end by a byte.
  for (long size = kSmallestDocument; size < kSmallestDocument + 160; ++size) {
    const std::string doc = document(size);
    ASSERT_EQ(static_cast<long>(doc.size()), size);
    Shape shape;
    ASSERT_EQ(checkBytes(doc, &shape), "") << size;
    ASSERT_EQ(checkMarkup(doc, &shape), "") << size;
  }
}

TEST(BenchDocument, HoldsEveryPromisedKindOfMarkup) {
  const std::string doc = document(3000000);
  Shape shape;
  ASSERT_EQ(checkBytes(doc, &shape), "");
  ASSERT_EQ(checkMarkup(doc, &shape), "");
  EXPECT_EQ(shape.deepestTable, kDeepestTable);
  EXPECT_GT(shape.kanji, shape.kana);
  EXPECT_GT(shape.kana, 10000);
  EXPECT_GT(shape.comments, 100);
  EXPECT_GT(shape.commentsWithAngle, 10);
  EXPECT_GT(shape.doubleQuoted, 1000);
  EXPECT_GT(shape.singleQuoted, 1000);
  EXPECT_GT(shape.unquoted, 1000);
  EXPECT_GT(shape.withoutValue, 1000);
  EXPECT_GT(shape.lowerCaseTags, 1000);
  EXPECT_GT(shape.cells, 20 * shape.tables / 10);
  EXPECT_GT(shape.items, 1000);
  EXPECT_GT(shape.options, 500);
  EXPECT_GT(shape.links, 1000);
}

TEST(BenchDocument, SameSizeSameBytesAndSmallerIsAPrefix) {
  const std::string small = document(1000000);
  const std::string large = document(2000000);
  EXPECT_EQ(document(1000000), small);
  const size_t padding = small.rfind("<!-- padding");
  ASSERT_NE(padding, std::string::npos);
  EXPECT_GT(padding, small.size() / 2);
  EXPECT_EQ(large.compare(0, padding, small, 0, padding), 0);
  EXPECT_NE(large.compare(0, small.size(), small), 0);
}

int refuseSecond(void* context, const char*, long) { return ++*static_cast<int*>(context) >= 2 ? -1 : 0; }

TEST(BenchDocument, RefusesTooSmallSizesAndStopsWhenTheSinkFails) {
  std::string text;
  EXPECT_EQ(generateHtml(kSmallestDocument - 1, appendTo, &text), -1);
  EXPECT_TRUE(text.empty());
  int calls = 0;
  EXPECT_EQ(generateHtml(5000000, refuseSecond, &calls), -1);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace mq::bench
