#include "bench/text_generator.h"

#include <cstring>

namespace mq::bench {
namespace {

constexpr long kStageSize = 1L << 20;
constexpr long kLongestLine = 4096;

constexpr const char* kWords[] = {"price", "stock", "new",  "item", "model", "size",  "color", "type",
                                  "DX",    "PRO",   "mini", "OK",   "ID",    "set",   "sale",  "shop",
                                  "mail",  "web",   "v2.1", "No.1", "LED",   "USB",   "A4",    "TEL",
                                  "(sold", "out)",  "2026", "10:30", "x-ray", "a,b;c", "page:", "Osaka"};
constexpr uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

struct TextStage {
  char bytes[kStageSize + kLongestLine];
  long fill;
  long written;  // bytes already given to the sink
  BenchRandom random;
  DocumentSink sink;
  void* context;
};
TextStage gText;

uint32_t below(uint32_t bound) { return randomBelow(&gText.random, bound); }

void put(const char* bytes, long length) {
  std::memcpy(gText.bytes + gText.fill, bytes, static_cast<std::size_t>(length));
  gText.fill += length;
}

void putPair(int row, int cell) {
  unsigned char pair[2];
  jisToShiftJis(row, cell, &pair[0], &pair[1]);
  put(reinterpret_cast<const char*>(pair), 2);
}

// One Japanese character, weighted as in running text: first-level kanji (rows 0x30-0x4F),
// hiragana, katakana, second-level kanji (rows 0x50-0x73, Shift-JIS first bytes up to 0xEA),
// punctuation and full-width digits. Only assigned cells.
void putJapaneseCharacter() {
  const uint32_t kind = below(100);
  if (kind < 45) {
    const int row = 0x30 + static_cast<int>(below(0x20));
    putPair(row, 0x21 + static_cast<int>(below(row == 0x4F ? 0x33 : 94)));
  } else if (kind < 77) {
    putPair(0x24, 0x21 + static_cast<int>(below(0x53)));
  } else if (kind < 87) {
    putPair(0x25, 0x21 + static_cast<int>(below(0x56)));
  } else if (kind < 94) {
    putPair(0x50 + static_cast<int>(below(0x24)), 0x21 + static_cast<int>(below(94)));
  } else if (kind < 98) {
    static constexpr int kPunctuation[] = {0x22, 0x23, 0x3C, 0x56, 0x57};  // 、。ー「」
    putPair(0x21, kPunctuation[below(5)]);
  } else {
    putPair(0x23, 0x30 + static_cast<int>(below(10)));
  }
}

void putLine(bool first) {
  const uint32_t phrases = 1 + below(6);
  for (uint32_t p = 0; p < phrases; ++p) {
    if (first || below(10) < 6) {
      if (first) putPair(0x24, 0x22 + static_cast<int>(below(0x51)));
      first = false;
      const uint32_t characters = 2 + below(23);
      for (uint32_t i = 0; i < characters; ++i) putJapaneseCharacter();
    } else {
      const uint32_t words = 1 + below(4);
      for (uint32_t i = 0; i < words; ++i) {
        put(" ", 1);
        const char* word = kWords[below(kWordCount)];
        put(word, static_cast<long>(std::strlen(word)));
      }
      put(" ", 1);
    }
  }
  if (below(5) == 0) {
    put("\n", 1);
  } else {
    put("\r\n", 2);
  }
}

int flush(long length) {
  if (length <= 0) return 0;
  if (gText.sink(gText.context, gText.bytes, length) != 0) return -1;
  gText.written += length;
  std::memmove(gText.bytes, gText.bytes + length, static_cast<std::size_t>(gText.fill - length));
  gText.fill -= length;
  return 0;
}

}  // namespace

int generateText(long sizeBytes, DocumentSink sink, void* context) {
  if (sizeBytes < 0) return -1;
  gText.fill = 0;
  gText.written = 0;
  gText.random = BenchRandom{kTextSeed};
  gText.sink = sink;
  gText.context = context;
  bool first = true;
  while (gText.written + gText.fill < sizeBytes) {
    putLine(first);
    first = false;
    // Whole lines go out while the text is still short of its size; the last is cut below.
    if (gText.fill >= kStageSize && gText.written + gText.fill < sizeBytes && flush(gText.fill) != 0) return -1;
  }
  // The last line is cut to the size; if that would split a character, its first byte
  // becomes a blank.
  long keep = sizeBytes - gText.written;
  long at = 0;
  while (at < keep) at += static_cast<unsigned char>(gText.bytes[at]) >= 0x80 ? 2 : 1;
  if (at > keep && keep > 0) gText.bytes[keep - 1] = ' ';
  gText.fill = keep;
  return flush(keep);
}

}  // namespace mq::bench
