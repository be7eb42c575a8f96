// The benchmark document: a large Shift-JIS HTML page of nested tables, lists, forms,
// comments and mixed Japanese and ASCII text, made from a fixed seed so that the same
// size gives the same bytes on every machine and with every standard library.
#pragma once

#include <cstdint>

namespace mq::bench {

// The seed of every benchmark document.
inline constexpr uint64_t kDocumentSeed = 0x4D51424E43480001ULL;

// The smallest document: head, closing tags and a padding comment.
inline constexpr long kSmallestDocument = 4096;

// Deepest nesting of tables inside table cells (the outermost table is depth 1).
inline constexpr int kDeepestTable = 3;

// Receives the document in pieces, in order; answers 0, or non-zero to stop generating.
using DocumentSink = int (*)(void* context, const char* bytes, long length);

// A small generator of its own (splitmix64): its numbers do not depend on the standard
// library, unlike the std:: distributions.
struct BenchRandom {
  uint64_t state;
};
uint64_t nextRandom(BenchRandom* random);
// A number in 0 .. bound - 1 (bound above 0), by multiplying, never by division.
uint32_t randomBelow(BenchRandom* random, uint32_t bound);

// One two-byte character of JIS X 0208 (row, cell in 0x21..0x7E) as its Shift-JIS pair.
void jisToShiftJis(int row, int cell, unsigned char* lead, unsigned char* trail);

// Writes a document of exactly sizeBytes bytes to the sink. Sections are made one after
// the other from one random stream, so a smaller document is, up to its padding comment,
// the start of a larger one. -1 when sizeBytes is below kSmallestDocument, or when the
// sink refuses a piece.
int generateHtml(long sizeBytes, DocumentSink sink, void* context);

}  // namespace mq::bench
