// The steps of the recode tool: one text file in Shift-JIS, EUC or JIS (in any mixture) read
// whole, converted piece by piece through one fixed output area into the code its user
// names, and written to a second file.
#pragma once

#include <cstdint>

#include "common/code_conversion.h"
#include "common/run_record.h"

namespace mq {

struct RecodeOptions {
  CodeKind targetCode;
  char inputFile[kArgumentSize];
  char outputFile[kArgumentSize];
};

extern RecodeOptions gRecodeOptions;

// The output area holds one converted piece. A piece grows by at most one byte in Shift-JIS
// and EUC (the second byte of a character begun in the piece before) and to at most
// 7 times its length plus 3 in JIS (line feeds inside a two-byte run), so JIS takes shorter
// pieces.
inline constexpr int32_t kRecodeAreaSize = 20480;
inline constexpr int32_t kRecodePiece = kRecodeAreaSize / 2;
inline constexpr int32_t kRecodeJisPiece = 2925;
static_assert(kRecodePiece + 1 <= kRecodeAreaSize);
static_assert(7 * kRecodeJisPiece + 3 <= kRecodeAreaSize);

// The input bytes converted by one call for the target.
int32_t recodePieceLength(CodeKind target);

// The output area, and the whole input file (NUL-padded) once it has been read.
struct RecodeAreas {
  unsigned char* output;
  int32_t outputSize;
  unsigned char* input;
  int32_t inputLength;
};

extern RecodeAreas gRecodeAreas;

// The entry of ToolRecast: the frame run with the recode steps.
int runRecodeTool(const char* commandLine);

int parseRecodeOptions();
int takeRecodeAreas();
int runRecode();
void releaseRecodeAreas();

}  // namespace mq
