#include "tools/recode_tool.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/console.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/platform.h"
#include "common/program_info.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/tool_frame.h"
#include "common/work_areas.h"
#include "markup/code_decision.h"
#include "markup/document_code.h"

namespace mq {

RecodeOptions gRecodeOptions;
RecodeAreas gRecodeAreas;
// The program's one run record.
RunRecord gRecodeRecord;

namespace {

constexpr char kProgramName[] = "ToolRecast";
constexpr std::size_t kRecodeStreamBuffer = std::size_t{1} << 18;

// The names that /c (or /C) takes, compared whole after ASCII upper-casing.
struct TargetName {
  const char* name;
  RecodeTarget target;
};
constexpr TargetName kTargetNames[] = {
    {"SJIS", RecodeTarget::Sjis}, {"EUC", RecodeTarget::Euc}, {"JIS", RecodeTarget::Jis}, {"UTF8", RecodeTarget::Utf8}};

// /c with a code name sets the target; /c with any other name (or none) leaves it, so the
// last recognised one counts. /e names the input's code as the listing tools' /e does (an
// unknown name is refused). Any other option is refused with message 1031.
int applyRecodeOption(const char* argument) {
  char name[kArgumentSize] = {};
  toUpperAscii(name, argument + 2, static_cast<int>(std::strlen(argument + 2)));
  if (argument[1] == 'e' || argument[1] == 'E') {
    if (name[0] != '\0' && documentCodeFromName(name, &gRecodeOptions.inputCode)) return 0;
    setMessage(gRecodeRecord, kCodeParameterError, kFmtParameterError, argument);
    return -1;
  }
  if (argument[1] != 'c' && argument[1] != 'C') {
    setMessage(gRecodeRecord, kCodeParameterError, kFmtParameterError, argument);
    return -1;
  }
  for (const TargetName& target : kTargetNames) {
    if (std::strcmp(name, target.name) == 0) {
      gRecodeOptions.target = target.target;
      break;
    }
  }
  return 0;
}

// The whole input file into the input block; 1003 with its name when it cannot be read.
int readRecodeInput() {
  int read = 0;
  if (std::strcmp(gRecodeOptions.inputFile, kStandardStreamName) == 0) {
    std::string piped;
    read = readStandardInput(&piped) ? copyWholeText(&gRecodeAreas.input, &gRecodeAreas.inputLength,
                                                     reinterpret_cast<const unsigned char*>(piped.data()), piped.size())
                                     : -1;
  } else {
    read = readWholeFile(&gRecodeAreas.input, &gRecodeAreas.inputLength, gRecodeOptions.inputFile);
  }
  if (read != 0) {
    releaseArea(&gRecodeAreas.input);
    gRecodeAreas.inputLength = 0;
    setMessage(gRecodeRecord, kCodeReadFailed, kFmtReadFailed, gRecodeOptions.inputFile);
    return -1;
  }
  return 0;
}

// How the input is read: in the code its user named, else in the one it is decided to be in.
CodeDecision inputDecision() {
  const unsigned char* text = gRecodeAreas.input;
  const int32_t size = gRecodeAreas.inputLength;
  if (gRecodeOptions.inputCode == DocumentCode::Detect) return decideWholeCode(text, size, InputKind::Html);
  return decisionFor(findDocumentCode(text, size, InputKind::Html, gRecodeOptions.inputCode));
}

// Converts the input piece by piece through the pipeline, whose steps carry their states
// from piece to piece, so that a character, an escape sequence or a JIS run cut by a piece's
// end is completed by the next piece; the last piece ends the text. -1 at the first failed
// write.
int writeConverted(std::FILE* file, RecodePipeline* pipeline, int32_t from) {
  int32_t at = from;
  do {
    const int32_t left = gRecodeAreas.inputLength - at;
    const int32_t length = left < kRecodeInputPiece ? left : kRecodeInputPiece;
    at += length;
    const int32_t produced = recodePiece(pipeline, gRecodeAreas.input + at - length, length,
                                         at == gRecodeAreas.inputLength, gRecodeAreas.between, gRecodeAreas.output);
    const auto bytes = static_cast<std::size_t>(produced);
    if (bytes > 0 && std::fwrite(gRecodeAreas.output, 1, bytes, file) != bytes) return -1;
  } while (at < gRecodeAreas.inputLength);
  return 0;
}

// The report of a success: the code decided (not when named), and what was replaced.
void reportRecode(const CodeDecision& decision, int64_t replaced) {
  const char* decided = gRecodeOptions.inputCode == DocumentCode::Detect
                            ? wholeCodeName(decision, gRecodeAreas.input, gRecodeAreas.inputLength)
                            : "";
  char warning[kMessageTextSize] = {};
  if (replaced > 0) {
    std::snprintf(warning, sizeof warning, kFmtReplacedCharacters, gRecodeOptions.inputFile, static_cast<long>(replaced));
  }
  setSuccessReport(gRecodeRecord, decided, warning);
}

void writeRecodeUsage() {
  writeUsageText(
      "Usage: ToolRecast [/cCODE] [/eCODE] [/y] INPUT OUTPUT\n"
      "Converts a text file into one code. The input's code is decided once for the whole file: a\n"
      "byte-order mark, UTF-8, the code it names itself, 7-bit JIS, EUC, Shift-JIS; only a file\n"
      "that mixes Shift-JIS, EUC and JIS is read byte by byte. Every character the target holds\n"
      "is kept; one it lacks becomes a geta mark, counted in the report.\n"
      "  /cCODE, /CCODE  the code to write: SJIS (the default), EUC, JIS or UTF8, in any case;\n"
      "                  the last one named counts\n"
      "  /eCODE, /ECODE  the input's code, not decided: SJIS, EUC, JIS, UTF8 or UTF16\n"
      "  /y, /Y          replace an existing OUTPUT without asking\n"
      "  -               as INPUT: standard input; as OUTPUT: standard output\n"
      "  -h, --help      show this text\n"
      "  --version       show the version\n"
      "Each argument is one option or name, blanks and all; one that begins with / is an option\n"
      "unless it holds another / from its fourth byte on. Before an OUTPUT that holds something\n"
      "is replaced, the tool asks \"%s\" with OK and Cancel; only OK goes on.\n"
      "Report: a message box with the outcome, e.g. \"%s\" (where the system has\n"
      "none: on standard output after success, on standard error otherwise).\n"
      "Exit codes: 0 success; 255 a failure, or a question not answered with OK.\n"
      "Manual: man ToolRecast\n",
      kTextOverwriteQuestion, kTextFinishedNormally);
}

}  // namespace

int parseRecodeOptions() {
  gRecodeOptions.target = RecodeTarget::Sjis;
  gRecodeOptions.inputCode = DocumentCode::Detect;
  std::memset(gRecodeOptions.inputFile, 0, sizeof gRecodeOptions.inputFile);
  std::memset(gRecodeOptions.outputFile, 0, sizeof gRecodeOptions.outputFile);
  return splitToolArguments(gRecodeRecord, applyRecodeOption, gRecodeOptions.inputFile, gRecodeOptions.outputFile);
}

int takeRecodeAreas() {
  gRecodeAreas = RecodeAreas{};
  if (takeArea(gRecodeRecord, &gRecodeAreas.output, kRecodeStepRoom, kAreaOutput) != 0 ||
      takeArea(gRecodeRecord, &gRecodeAreas.between[0], kRecodeStepRoom, kAreaConversion) != 0 ||
      takeArea(gRecodeRecord, &gRecodeAreas.between[1], kRecodeStepRoom, kAreaConversion) != 0) {
    releaseRecodeAreas();
    return -1;
  }
  return 0;
}

void releaseRecodeAreas() {
  releaseArea(&gRecodeAreas.output);
  releaseArea(&gRecodeAreas.between[0]);
  releaseArea(&gRecodeAreas.between[1]);
  releaseArea(&gRecodeAreas.input);
  gRecodeAreas.inputLength = 0;
}

int runRecode() {
  if (readRecodeInput() != 0) return -1;
  const CodeDecision decision = inputDecision();
  RecodePipeline pipeline{};
  if (openRecodePipeline(&pipeline, decision, gRecodeOptions.target) != 0) {
    // The system has no converter for a code this needs.
    closeRecodePipeline(&pipeline);
    setMessage(gRecodeRecord, kCodeParameterError, kFmtParameterError, "CODE");
    return -1;
  }
  // Opened only now: an input that cannot be read leaves an existing output as it was.
  const bool toStandardOutput = std::strcmp(gRecodeOptions.outputFile, kStandardStreamName) == 0;
  if (toStandardOutput) useBinaryMode(stdout);
  std::FILE* file = toStandardOutput ? stdout : std::fopen(gRecodeOptions.outputFile, "wb");
  if (file == nullptr) {
    closeRecodePipeline(&pipeline);
    setMessage(gRecodeRecord, kCodeReadFailed, kFmtReadFailed, gRecodeOptions.outputFile);
    return -1;
  }
  // Pieces reach the file through a larger stream buffer: a few hundred writes for a large
  // file instead of two or three per piece.
  static char streamBuffer[kRecodeStreamBuffer];
  if (!toStandardOutput) std::setvbuf(file, streamBuffer, _IOFBF, sizeof streamBuffer);
  const int written = writeConverted(file, &pipeline, decision.source.skip);
  const int64_t replaced = recodeReplaced(pipeline);
  closeRecodePipeline(&pipeline);
  // The last bytes reach the file only at the close, so a failed close is a failed write.
  const bool closed = toStandardOutput ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (written != 0 || !closed) {
    setMessage(gRecodeRecord, kCodeWriteFailed, kFmtWriteFailed, gRecodeOptions.outputFile);
    return -1;
  }
  reportRecode(decision, replaced);
  return 0;
}

namespace {

constexpr ToolSteps kRecodeSteps{parseRecodeOptions, gRecodeOptions.outputFile, takeRecodeAreas, runRecode,
                                 releaseRecodeAreas, writeRecodeUsage};

}  // namespace

int runRecodeTool(int count, const char* const* arguments) {
  return runTool(gRecodeRecord, count, arguments, kProgramName, kRecodeSteps);
}

int runRecodeTool(const char* commandLine) { return runTool(gRecodeRecord, commandLine, kProgramName, kRecodeSteps); }

}  // namespace mq
