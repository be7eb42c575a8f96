#include "tools/listing_tool.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/console.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/text_helpers.h"
#include "common/program_info.h"
#include "common/texts.h"
#include "common/tool_frame.h"
#include "common/unicode_conversion.h"
#include "convert/listing_stream.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"
#include "markup/standard_parser.h"

namespace mq {

ListingOptions gListingOptions;
// The program's one run: the document's tables and the listing's value area.
ListingRun gListing;

namespace {

// The tools list one document, into the first slot.
constexpr int32_t kListingSlots = 1;

// Fixed by the program for the whole run.
InputKind gListingKind = InputKind::Xml;

// The separator texts that name a control character, in the order they are tried.
struct SeparatorEscape {
  const char* text;
  char separator;
};
constexpr SeparatorEscape kSeparatorEscapes[] = {
    {"\\n", '\n'}, {"\\r", '\r'}, {"\\t", '\t'}, {"\\v", '\v'}, {"\\a", '\a'}, {"\\b", '\b'}, {"\\f", '\f'},
};

void applySeparatorText(const char* text) {
  ListingFormat& format = gListingOptions.format;
  for (const SeparatorEscape& escape : kSeparatorEscapes) {
    if (std::strcmp(text, escape.text) == 0) {
      format.separator = escape.separator;
      return;
    }
  }
  // Anything longer (a two-byte character among it) or empty keeps the separator it had.
  if (std::strlen(text) == 1) format.separator = text[0];
}

// The code named after /e, in any case.
bool codeFromOption(const char* name) {
  char upper[kArgumentSize] = {};
  const auto length = static_cast<int>(std::strlen(name));
  toUpperAscii(upper, name, length);
  return documentCodeFromName(upper, &gListingOptions.documentCode);
}

// Tells an option from a file name and applies it; -1 with message 1031 for an argument
// that looks like an option but is none.
int applyOption(const char* argument) {
  if (std::strcmp(argument, "/k") == 0 || std::strcmp(argument, "/K") == 0) {
    gListingOptions.format.writeHeader = true;
  } else if (std::strcmp(argument, "/d") == 0 || std::strcmp(argument, "/D") == 0) {
    gListingOptions.format.skipEmptyValues = true;
  } else if (std::strncmp(argument, "/p", 2) == 0 || std::strncmp(argument, "/P", 2) == 0) {
    applySeparatorText(argument + 2);
  } else if (std::strcmp(argument, "/s") == 0 || std::strcmp(argument, "/S") == 0) {
    if (!standardParserAvailable()) return refuseStandardParser(gListing, argument);
    gListingOptions.parser = ParserKind::Standard;
  } else if (std::strcmp(argument, "/u") == 0 || std::strcmp(argument, "/U") == 0) {
    // Documents in other codes reach UTF-8 through the system's converter.
    if (!platformConvertsCodes()) {
      setMessage(gListing, kCodeParameterError, kFmtParameterError, argument);
      return -1;
    }
    gListingOptions.working = TextCode::Utf8;
  } else if ((std::strncmp(argument, "/e", 2) == 0 || std::strncmp(argument, "/E", 2) == 0) &&
             codeFromOption(argument + 2)) {
    // the code is taken
  } else {
    setMessage(gListing, kCodeParameterError, kFmtParameterError, argument);
    return -1;
  }
  return 0;
}

void writeListingUsage() {
  writeUsageText(
      "Usage: %s [/k] [/d] [/pC] [/s] [/eCODE] [/u] [/y] DOCUMENT LISTING\n"
      "Writes the tag records of one %s document (Shift-JIS, EUC, JIS or UTF-8) as a tag listing: per\n"
      "record FileNo, No, SeaNo, TagName and Value, in Shift-JIS (or UTF-8) with CR LF line ends.\n"
      "  /k, /K        begin with a header line\n"
      "  /d, /D        leave out the records without a value\n"
      "  /pC, /PC      C separates the fields: one byte, or \\t \\n \\r \\v \\a \\b \\f (TAB by default)\n"
      "  /s, /S        read the document with the standard parser (today's documents)\n"
      "  /eCODE        the document's code: UTF8, UTF16, SJIS, EUC or JIS (any case)\n"
      "  /u, /U        write the listing in UTF-8: no character is replaced\n"
      "  /y, /Y        replace an existing LISTING without asking\n"
      "  -             as DOCUMENT: standard input; as LISTING: standard output\n"
      "  -h, --help    show this text\n"
      "  --version     show the version\n"
      "Each argument is one option or name, blanks and all; one that begins with / is an option\n"
      "unless it holds another / from its fourth byte on. Before a LISTING that holds something\n"
      "is replaced, the tool asks \"%s\" with OK and Cancel; only OK goes on.\n"
      "Report: a message box with the outcome, e.g. \"%s\" (where the system has\n"
      "none: on standard output after success, on standard error otherwise).\n"
      "Exit codes: 0 success; 255 a failure, or a question not answered with OK.\n"
      "Manual: man %s; the listing: man 5 marquill-listing\n",
      gListing.programName, gListingKind == InputKind::Html ? "HTML" : "XML", kTextOverwriteQuestion,
      kTextFinishedNormally, gListing.programName);
}

}  // namespace

int parseListingOptions() {
  gListingOptions = ListingOptions{};
  gListingOptions.format.separator = '\t';
  return splitToolArguments(gListing, applyOption, gListingOptions.inputFile, gListingOptions.listingFile);
}

int takeListingAreas() {
  gListing.value = ValueArea{};
  if (allocateParseTables(gListing, kListingSlots) != 0 || takeValueArea(gListing) != 0) {
    releaseListingAreas();
    return -1;
  }
  return 0;
}

void releaseListingAreas() {
  releaseParseTables(gListing);
  releaseValueArea(gListing);
}

namespace {

// The warning of the document and the code it was found in, kept for the final report.
char gWarning[kMessageTextSize];
char gDecidedCode[kCodeLabelSize];

void keepWarning() { std::snprintf(gWarning, sizeof gWarning, "%s", gListing.messageText); }
void keepDecidedCode(const char* name) { std::snprintf(gDecidedCode, sizeof gDecidedCode, "%s", name); }

}  // namespace

int runListing() {
  gWarning[0] = '\0';
  gDecidedCode[0] = '\0';
  InputSet inputs{gListingKind,          kListingSlots,  &gListingOptions.inputFile, gListingOptions.parser,
                  gListingOptions.documentCode, keepWarning, keepDecidedCode,            gListingOptions.working};
  // "-" names standard input, read whole before the document is.
  std::string piped;
  std::string_view pipedText;
  if (std::strcmp(gListingOptions.inputFile, kStandardStreamName) == 0) {
    if (!readStandardInput(&piped)) {
      setMessage(gListing, kCodeReadFailed, kFmtReadFailed, gListingOptions.inputFile);
      return -1;
    }
    pipedText = piped;
    inputs.texts = &pipedText;
  }
  // The listing is written while the document is read, to a file that takes its name only
  // when the run succeeds: a document that cannot be loaded leaves an old listing as it was.
  // Standard output, or a folder where no file can be made, gets it after the load.
  ListingStream stream(gListing, gListingOptions.listingFile, gListingOptions.format);
  const bool streamed = std::strcmp(gListingOptions.listingFile, kStandardStreamName) != 0 && stream.open();
  int loaded = 0;
  {
    const SinkScope sink(gListing.flow, streamed ? &stream : nullptr);
    loaded = loadInputs(gListing, inputs);
  }
  if (loaded != 0) return loaded;
  const int written = streamed ? stream.finish()
                               : writeTagListing(gListing, gListingOptions.listingFile, kListingSlots, gListingOptions.format);
  // A success says which code was read when it was not declared, and what was replaced.
  if (written == 0) setSuccessReport(gListing, gDecidedCode, gWarning);
  return written;
}

namespace {

ToolSteps listingSteps(InputKind kind) {
  gListingKind = kind;
  return ToolSteps{parseListingOptions, gListingOptions.listingFile, takeListingAreas, runListing,
                   releaseListingAreas, writeListingUsage};
}

}  // namespace

int runListingTool(int count, const char* const* arguments, const char* programName, InputKind kind) {
  return runTool(gListing, count, arguments, programName, listingSteps(kind));
}

int runListingTool(const char* commandLine, const char* programName, InputKind kind) {
  return runTool(gListing, commandLine, programName, listingSteps(kind));
}

}  // namespace mq
