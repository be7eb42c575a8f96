// Differential code conversion into the target the build names: the text converted whole,
// through the byte-wise state machine alone, in pieces whose lengths the first two bytes
// choose, byte by byte and, for Shift-JIS and EUC, where it stands. Every way must give the
// same bytes, and no piece may write past the room conversionCapacity promises.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/code_conversion.h"

namespace {

using mq::CodeKind;
using PieceConverter = int32_t (*)(mq::ConversionState*, unsigned char*, const unsigned char*, int32_t);

constexpr CodeKind kTarget = static_cast<CodeKind>(MQ_FUZZ_TARGET);

// Piece lengths from a small generator of its own, so that a crashing input replays.
struct Cuts {
  uint32_t state;
  uint32_t longest;  // 0: one piece
  int32_t next() {
    if (longest == 0) return INT32_MAX;
    state = state * 1103515245u + 12345u;
    return static_cast<int32_t>(1 + (state >> 16) % longest);
  }
};

// Each piece goes to a heap block of exactly its capacity, so that the sanitizer sees a
// byte written past it.
std::vector<unsigned char> convertInPieces(PieceConverter converter, const unsigned char* text, int32_t length,
                                           Cuts cuts) {
  std::vector<unsigned char> result;
  mq::ConversionState state;
  mq::startConversion(&state, kTarget);
  int32_t at = 0;
  do {
    const int32_t wanted = cuts.next();
    const int32_t piece = length - at < wanted ? length - at : wanted;
    std::vector<unsigned char> out(static_cast<std::size_t>(mq::conversionCapacity(piece, kTarget)));
    const int32_t written = converter(&state, out.data(), text + at, piece);
    if (written < 0 || written > static_cast<int64_t>(out.size())) __builtin_trap();
    result.insert(result.end(), out.begin(), out.begin() + written);
    at += piece;
  } while (at < length);
  unsigned char last[3];
  const int32_t closing = mq::finishConversion(&state, last);
  result.insert(result.end(), last, last + closing);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const uint32_t seed = data[0] | static_cast<uint32_t>(data[1]) << 8;
  const unsigned char* text = data + 2;
  const auto length = static_cast<int32_t>(size - 2);

  const std::vector<unsigned char> whole = convertInPieces(mq::convertPiece, text, length, Cuts{0, 0});
  if (whole.size() > static_cast<std::size_t>(mq::conversionCapacity(length, kTarget))) __builtin_trap();
  if (kTarget != CodeKind::Jis && whole.size() > static_cast<std::size_t>(length)) __builtin_trap();

  const Cuts random{seed, 1 + seed % 64};
  const std::vector<std::vector<unsigned char>> others = {
      convertInPieces(mq::convertPieceByteWise, text, length, Cuts{0, 0}),
      convertInPieces(mq::convertPiece, text, length, random),
      convertInPieces(mq::convertPieceByteWise, text, length, random),
      convertInPieces(mq::convertPiece, text, length, Cuts{0, 1}),
  };
  for (const std::vector<unsigned char>& other : others) {
    if (other != whole) __builtin_trap();
  }

  if (kTarget != CodeKind::Jis) {
    std::vector<unsigned char> inPlace(text, text + length);
    const int32_t written = mq::ConvertCode(inPlace.data(), inPlace.data(), length, kTarget);
    if (written < 0 || written > length) __builtin_trap();
    inPlace.resize(static_cast<std::size_t>(written));
    if (inPlace != whole) __builtin_trap();
  }
  return 0;
}
