#include "tools/recode_tool.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/program_info.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/tool_frame.h"
#include "common/work_areas.h"

namespace mq {

RecodeOptions gRecodeOptions;
RecodeAreas gRecodeAreas;

namespace {

constexpr char kProgramName[] = "ToolRecast";
constexpr std::size_t kRecodeStreamBuffer = std::size_t{1} << 18;

// The names that /c (or /C) takes, compared whole after ASCII upper-casing.
struct CodeName {
  const char* name;
  CodeKind code;
};
constexpr CodeName kCodeNames[] = {{"SJIS", CodeKind::Sjis}, {"EUC", CodeKind::Euc}, {"JIS", CodeKind::Jis}};

// /c with a code name sets the target; /c with any other name (or none) leaves it, so the
// last recognised one counts. Any other option is refused with message 1031.
int applyRecodeOption(const char* argument) {
  if (argument[1] != 'c' && argument[1] != 'C') {
    setMessage(kCodeParameterError, kFmtParameterError, argument);
    return -1;
  }
  char name[kArgumentSize] = {};
  toUpperAscii(name, argument + 2, static_cast<int>(std::strlen(argument + 2)));
  for (const CodeName& code : kCodeNames) {
    if (std::strcmp(name, code.name) == 0) {
      gRecodeOptions.targetCode = code.code;
      break;
    }
  }
  return 0;
}

// The whole input file into the input block; 1003 with its name when it cannot be read.
int readRecodeInput() {
  if (readWholeFile(&gRecodeAreas.input, &gRecodeAreas.inputLength, gRecodeOptions.inputFile) != 0) {
    releaseArea(&gRecodeAreas.input);
    gRecodeAreas.inputLength = 0;
    setMessage(kCodeReadFailed, kFmtReadFailed, gRecodeOptions.inputFile);
    return -1;
  }
  return 0;
}

// Converts the input piece by piece with one state, so that a character, an escape sequence
// or a JIS run cut by a piece's end is completed by the next piece, and writes each piece's
// bytes; the state is finished after the last piece only. -1 at the first failed write.
int writeConverted(std::FILE* file) {
  ConversionState state;
  startConversion(&state, gRecodeOptions.targetCode);
  const int32_t pieceLength = recodePieceLength(gRecodeOptions.targetCode);
  unsigned char* const area = gRecodeAreas.output;
  int32_t at = 0;
  do {
    const int32_t length = gRecodeAreas.inputLength - at < pieceLength ? gRecodeAreas.inputLength - at : pieceLength;
    int32_t produced = convertPiece(&state, area, gRecodeAreas.input + at, length);
    at += length;
    if (at == gRecodeAreas.inputLength) produced += finishConversion(&state, area + produced);
    const auto bytes = static_cast<std::size_t>(produced);
    if (bytes > 0 && std::fwrite(area, 1, bytes, file) != bytes) return -1;
  } while (at < gRecodeAreas.inputLength);
  return 0;
}

void writeRecodeUsage() {
  writeUsageText(
      "Usage: ToolRecast [/cCODE] INPUT OUTPUT\n"
      "Converts a text file in Shift-JIS, EUC or JIS, in any mixture, into one code; every other\n"
      "byte, line ends included, passes as it is.\n"
      "  /cCODE, /CCODE  the code to write: SJIS (the default), EUC or JIS, in any case; the\n"
      "                  last one named counts\n"
      "  -h, --help      show this text\n"
      "  --version       show the version\n"
      "Arguments are split at spaces; one that begins with / is an option unless it holds another\n"
      "/ from its fourth byte on. Before an OUTPUT that holds something is replaced, the tool\n"
      "asks \"%s\" with OK and Cancel; only OK goes on.\n"
      "Report: a message box with the outcome, e.g. \"%s\" (where the system has\n"
      "none: on standard output after success, on standard error otherwise).\n"
      "Exit codes: 0 success; 255 a failure, or a question not answered with OK.\n",
      kTextOverwriteQuestion, kTextFinishedNormally);
}

}  // namespace

int32_t recodePieceLength(CodeKind target) { return target == CodeKind::Jis ? kRecodeJisPiece : kRecodePiece; }

int parseRecodeOptions() {
  gRecodeOptions.targetCode = CodeKind::Sjis;
  std::memset(gRecodeOptions.inputFile, 0, sizeof gRecodeOptions.inputFile);
  std::memset(gRecodeOptions.outputFile, 0, sizeof gRecodeOptions.outputFile);
  return splitToolArguments(applyRecodeOption, gRecodeOptions.inputFile, gRecodeOptions.outputFile);
}

int takeRecodeAreas() {
  gRecodeAreas = RecodeAreas{};
  gRecodeAreas.outputSize = kRecodeAreaSize;
  if (takeArea(&gRecodeAreas.output, gRecodeAreas.outputSize, kAreaOutput) != 0) {
    releaseRecodeAreas();
    return -1;
  }
  return 0;
}

void releaseRecodeAreas() {
  releaseArea(&gRecodeAreas.output);
  releaseArea(&gRecodeAreas.input);
  gRecodeAreas.inputLength = 0;
}

int runRecode() {
  if (readRecodeInput() != 0) return -1;
  // Opened only now: an input that cannot be read leaves an existing output as it was.
  std::FILE* file = std::fopen(gRecodeOptions.outputFile, "wb");
  if (file == nullptr) {
    setMessage(kCodeReadFailed, kFmtReadFailed, gRecodeOptions.outputFile);
    return -1;
  }
  // Pieces reach the file through a larger stream buffer: a few hundred writes for a large
  // file instead of two or three per piece.
  static char streamBuffer[kRecodeStreamBuffer];
  std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
  const int written = writeConverted(file);
  // The last bytes reach the file only at the close, so a failed close is a failed write.
  const bool closed = std::fclose(file) == 0;
  if (written != 0 || !closed) {
    setMessage(kCodeWriteFailed, kFmtWriteFailed, gRecodeOptions.outputFile);
    return -1;
  }
  return 0;
}

int runRecodeTool(const char* commandLine) {
  const ToolSteps steps{parseRecodeOptions, gRecodeOptions.outputFile, takeRecodeAreas, runRecode, releaseRecodeAreas,
                        writeRecodeUsage};
  return runTool(commandLine, kProgramName, steps);
}

}  // namespace mq
