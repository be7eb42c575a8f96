// The recode benchmark's text: a large Shift-JIS text file of Japanese sentences, ASCII
// words and numbers, in lines ending in CR LF or LF, made from a fixed seed so that the same
// size gives the same bytes on every machine.
#pragma once

#include "bench/html_generator.h"

namespace mq::bench {

inline constexpr uint64_t kTextSeed = 0x4D51524543415354ULL;

// Writes exactly sizeBytes bytes (0 or more) to the sink. Every two-byte character is an
// assigned JIS X 0208 character in Shift-JIS; there are no half-width katakana, no ESC and
// no 0x5C or 0x7E, so that every converter reads the text alike. The first character is
// hiragana, so first bytes 0xE0 and above are read as Shift-JIS from the start. -1 when
// the size is negative or the sink refuses a piece.
int generateText(long sizeBytes, DocumentSink sink, void* context);

}  // namespace mq::bench
