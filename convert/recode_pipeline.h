// How ToolRecast turns its input into the target code, piece by piece: at most three steps,
// each carrying its state from piece to piece. A text in one code goes through the
// conversion of known codes (Shift-JIS, EUC, JIS) or through UTF-8 (Unicode sources and the
// UTF-8 target); only a mixture of codes is recognised byte by byte, as it always was.
#pragma once

#include <cstdint>

#include "common/code_conversion.h"
#include "common/known_code_conversion.h"
#include "common/unicode_conversion.h"
#include "markup/code_decision.h"

namespace mq {

enum class RecodeTarget : uint8_t { Sjis, Euc, Jis, Utf8 };

// One step of the way; Copy passes the bytes as they are.
enum class RecodeStepKind : uint8_t { Copy, Known, Mixture, Decode, EncodeCp932 };

struct RecodeStep {
  RecodeStepKind kind;
  KnownConversionState known;
  ConversionState mixture;
  Utf8Decoder decoder;
  Cp932Encoder encoder;
  unsigned char carried[16];  // Decode: the start of a sequence that the piece's end cut
  int32_t carriedLength;
};

struct RecodePipeline {
  RecodeStep steps[3];
  int stepCount;
};

// Input bytes taken per piece; every step's output of a piece fits kRecodeStepRoom bytes.
inline constexpr int32_t kRecodeInputPiece = 4096;
inline constexpr int32_t kRecodeStepRoom = 8 * kRecodeInputPiece + 64;

// Plans the steps from the decided source to the target and opens what they need. -1 when
// the platform has no converter that a step needs (the caller reports which setting).
int openRecodePipeline(RecodePipeline* pipeline, const CodeDecision& source, RecodeTarget target);
void closeRecodePipeline(RecodePipeline* pipeline);

// Converts one piece of at most kRecodeInputPiece bytes through every step into `out`, with
// two areas between the steps (all three of kRecodeStepRoom bytes); `last` ends the text.
// Returns the bytes written to `out`.
int32_t recodePiece(RecodePipeline* pipeline, const unsigned char* in, int32_t length, bool last,
                    unsigned char* between[2], unsigned char* out);

// Characters written as 〓 (or as U+FFFD, for bytes a Unicode source could not read) so far.
int64_t recodeReplaced(const RecodePipeline& pipeline);

}  // namespace mq
