#include "markup/parse_run.h"
#include "markup/input_loading.h"

#include <climits>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "common/byte_source.h"
#include "common/code_conversion.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/scope_exit.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/listing_reader.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/scanner.h"
#include "markup/standard_parser.h"
#include "markup/code_decision.h"
#include "markup/document_code.h"
#include "markup/document_feed.h"
#include "common/known_code_conversion.h"
#include "common/unicode_conversion.h"

namespace mq {

namespace {

// A document fills its slot from empty.
void startSlot(ParseRun& run, int slot) {
  openTableCursor(run, slot);
  run.cursor.recordCount = 0;
  run.cursor.tagNameUsed = 0;
  run.cursor.contentUsed = 0;
}

// A document that had characters replaced is told with warning 5023.
void tellReplaced(ParseRun& run, const InputSet& inputs, const char* name, int64_t replaced) {
  if (replaced <= 0) return;
  setMessage(run, kCodeReplacedCharacters, kFmtReplacedCharacters, name, static_cast<long>(replaced));
  if (inputs.warn != nullptr) inputs.warn();
}

// Listings start their slots afresh, and their text offsets run on across every listing
// of the run.
void startListings(ParseRun& run, int32_t slotCount) {
  for (int k = 0; k < slotCount; ++k) run.tables[k].recordCount = 0;
  run.cursor.tagNameUsed = 0;
  run.cursor.contentUsed = 0;
}

int loadListings(ParseRun& run, const InputSet& inputs) {
  startListings(run, inputs.count);
  for (int k = 0; k < inputs.count; ++k) {
    int result;
    if (inputs.texts != nullptr) {
      ByteSource source(reinterpret_cast<const unsigned char*>(inputs.texts[k].data()), inputs.texts[k].size());
      result = readTagListingFrom(run, source, inputs.fileNames[k], inputs.count);
    } else {
      result = readTagListing(run, inputs.fileNames[k], inputs.count);
    }
    if (result != 0) return result;
  }
  return 0;
}

// Scans the input text, already Shift-JIS, into the slot.
int scanConverted(ParseRun& run, InputKind kind, int slot) {
  ParserScratch& s = run.scratch;
  startSlot(run, slot);
  const int scanned = scanMarkup(run, kind);
  if (scanned != 0) return scanned;
  if (handOnRest(run) != 0) return -1;
  releaseArea(&s.inputText);
  s.inputSize = 0;
  storeTableCursor(run, slot);
  return 0;
}

// Replaces the input text by its form in the working code, read from the source code: UTF-8
// as decoded, Shift-JIS (CP932) with what the code page lacks replaced and counted.
int convertFromSource(ParseRun& run, const DocumentSource& source, int64_t* replaced, TextCode working) {
  ParserScratch& s = run.scratch;
  int32_t size = s.inputSize;
  if (source.code == SourceCode::Jis) size = jisToShiftJis(s.inputText, size);
  const int32_t length = size - source.skip;
  // UTF-8 takes at most three bytes for every byte of the document.
  const long utf8Size = 3L * length + 64;
  if (utf8Size > kLargestAreaSize) {
    setMessage(run, kCodeTakeFailed, kFmtTakeFailed, kAreaConversion, utf8Size);
    return -1;
  }
  unsigned char* utf8 = nullptr;
  if (takeArea(run, &utf8, static_cast<int32_t>(utf8Size), kAreaConversion) != 0) return -1;
  Utf8Decoder decoder{};
  Cp932Encoder encoder{};
  unsigned char* converted = nullptr;
  int result = -1;
  if (openDecoder(&decoder, source.code, source.label, false) != 0 ||
      (working == TextCode::Sjis && openEncoder(&encoder) != 0)) {
    // The system has no converter for this code: the declared code cannot be read here.
    setMessage(run, kCodeParameterError, kFmtParameterError, "CODE");
  } else {
    int32_t used = 0;
    const int32_t decoded =
        decodePiece(&decoder, s.inputText + source.skip, length, true, utf8, static_cast<int32_t>(utf8Size), &used);
    if (working == TextCode::Utf8) {
      // Only bytes the decoding could not read are lost, each to a U+FFFD of its own.
      *replaced = decoder.replaced;
      releaseArea(&s.inputText);
      s.inputText = utf8;
      s.inputSize = decoded;
      utf8 = nullptr;
      result = 0;
    } else if (allocZeroed(&converted, static_cast<long>(decoded) + 16) != 0) {
      // Shift-JIS never takes more bytes than UTF-8.
      setMessage(run, kCodeTakeFailed, kFmtTakeFailed, kAreaConversion, static_cast<long>(decoded) + 16);
    } else {
      const int32_t written = encodeCp932(&encoder, utf8, decoded, converted);
      releaseArea(&s.inputText);
      s.inputText = converted;
      s.inputSize = written;
      *replaced = encoder.replaced;
      result = 0;
    }
  }
  closeDecoder(&decoder);
  closeEncoder(&encoder);
  releaseArea(&utf8);
  return result;
}

// Converts a document that is valid in no single code byte by byte, as documents always
// were, in place.
int convertMixture(ParseRun& run) {
  ParserScratch& s = run.scratch;
  unsigned char* conversionArea = nullptr;
  if (takeArea(run, &conversionArea, s.inputSize + 16, kAreaConversion) != 0) return -1;
  // Shift-JIS output never runs ahead of its input, so the text is converted where it
  // stands and the bytes it gave up are cleared; the conversion area stays untouched.
  const int32_t converted = ConvertCode(s.inputText, s.inputText, s.inputSize, CodeKind::Sjis);
  std::memset(s.inputText + converted, 0, static_cast<std::size_t>(s.inputSize - converted));
  releaseArea(&conversionArea);
  return 0;
}

// Replaces the input text, known to be in `code`, by its Shift-JIS form; characters the code
// page lacks are counted.
int convertKnownCode(ParseRun& run, CodeKind code, int64_t* replaced) {
  ParserScratch& s = run.scratch;
  const int64_t capacity = knownConversionCapacity(s.inputSize, CodeKind::Sjis) + 16;
  if (capacity > kLargestAreaSize) {
    setMessage(run, kCodeTakeFailed, kFmtTakeFailed, kAreaConversion, static_cast<long>(capacity));
    return -1;
  }
  unsigned char* converted = nullptr;
  if (takeArea(run, &converted, static_cast<int32_t>(capacity), kAreaConversion) != 0) return -1;
  KnownConversionState state{};
  startKnownConversion(&state, code, CodeKind::Sjis);
  int32_t written = convertKnownPiece(&state, converted, s.inputText, s.inputSize);
  written += finishKnownConversion(&state, converted + written);
  releaseArea(&s.inputText);
  s.inputText = converted;
  s.inputSize = written;
  *replaced = state.replaced;
  return 0;
}

// Reads the document in the input text in the one code it is written in, or byte by byte
// when it mixes codes, into the working code, and scans it into the slot.
int scanDocument(ParseRun& run, InputKind kind, int slot, TextCode working, int64_t* replaced, const char** codeName) {
  ParserScratch& s = run.scratch;
  const CodeDecision decision = decideWholeCode(s.inputText, s.inputSize, kind);
  *codeName = wholeCodeName(decision, s.inputText, s.inputSize);
  // 7-bit text with escape sequences is named JIS; plain ASCII needs no reading at all.
  const bool escapes = std::strcmp(*codeName, "JIS") == 0;
  const DocumentSource shiftJis{SourceCode::Cp932, {}, 0};
  int result = 0;
  switch (decision.code) {
    case WholeCode::Sjis:
      // The working code already, byte for byte; or read as the code page into UTF-8.
      if (working == TextCode::Utf8) result = convertFromSource(run, shiftJis, replaced, working);
      break;
    case WholeCode::SevenBit:
      if (escapes) result = convertKnownCode(run, CodeKind::Jis, replaced);
      if (escapes && result == 0 && working == TextCode::Utf8) result = convertFromSource(run, shiftJis, replaced, working);
      break;
    case WholeCode::Euc:
      result = working == TextCode::Utf8 ? convertFromSource(run, DocumentSource{SourceCode::EucJp, {}, 0}, replaced, working)
                                          : convertKnownCode(run, CodeKind::Euc, replaced);
      break;
    case WholeCode::Unicode:
      result = convertFromSource(run, decision.source, replaced, working);
      break;
    case WholeCode::Mixture:
      result = convertMixture(run);
      if (result == 0 && working == TextCode::Utf8) result = convertFromSource(run, shiftJis, replaced, working);
      break;
  }
  return result != 0 ? result : scanConverted(run, kind, slot);
}

// Reads the document in the input text with the standard parser into the slot.
int parseDocument(ParseRun& run, InputKind kind, DocumentCode code, int slot, TextCode working, int64_t* replaced,
                  DocumentSource* found) {
  ParserScratch& s = run.scratch;
  startSlot(run, slot);
  const int parsed = parseStandardDocument(run, kind, code, s.inputText, s.inputSize, working, replaced, found);
  if (parsed != 0) return parsed;
  if (handOnRest(run) != 0) return -1;
  releaseArea(&s.inputText);
  s.inputSize = 0;
  storeTableCursor(run, slot);
  return 0;
}

// The document in the input text into the slot, by the parser and code of the inputs; a
// document that had characters replaced is told with warning 5023.
int loadReadDocument(ParseRun& run, const InputSet& inputs, int slot, const char* name) {
  int64_t replaced = 0;
  int result;
  if (inputs.parser == ParserKind::Standard) {
    DocumentSource found{};
    result = parseDocument(run, inputs.kind, inputs.code, slot, inputs.working, &replaced, &found);
    if (inputs.code == DocumentCode::Detect && inputs.decided != nullptr) inputs.decided(sourceCodeName(found));
  } else if (inputs.code != DocumentCode::Detect) {
    result = convertFromSource(run, findDocumentCode(run.scratch.inputText, run.scratch.inputSize, inputs.kind,
                                                inputs.code),
                               &replaced, inputs.working);
    if (result == 0) result = scanConverted(run, inputs.kind, slot);
  } else {
    const char* codeName = nullptr;
    result = scanDocument(run, inputs.kind, slot, inputs.working, &replaced, &codeName);
    if (inputs.decided != nullptr && codeName != nullptr) inputs.decided(codeName);
  }
  if (result == 0) tellReplaced(run, inputs, name, replaced);
  return result;
}

// The name of the code a survey decided, as wholeCodeName names it.
const char* pieceCodeName(const PieceDecision& found) {
  if (found.decision.code == WholeCode::SevenBit) return found.escapes ? "JIS" : "ASCII";
  return wholeCodeName(found.decision, nullptr, 0);
}

int drainFeed(DocumentFeed& feed) {
  unsigned char rest[4096];
  int32_t got;
  while ((got = feed.read(rest, sizeof rest)) > 0) {
  }
  return got < 0 ? -1 : 0;
}

// Converts and scans the document from its start in the code decided; the slot's cursor is
// stored when it succeeds.
int scanDecided(ParseRun& run, const InputSet& inputs, ByteSource& source, int slot, const char* name,
                const PieceDecision& found, int64_t* replaced) {
  if (!source.rewind()) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
    return -1;
  }
  DocumentFeed feed(run, source, found.decision, found.escapes, inputs.working, name);
  int result = feed.open();
  if (result == 0) {
    startSlot(run, slot);
    result = scanMarkup(run, inputs.kind, ScanPath::Bulk, &feed, run.pieces.window);
  }
  // A NUL ends the text, but the whole document is converted, and its replacements counted.
  if (result == 0) result = drainFeed(feed);
  if (result == 0) result = handOnRest(run);
  if (result == 0) {
    releaseArea(&run.scratch.inputText);
    run.scratch.inputSize = 0;
    storeTableCursor(run, slot);
  }
  *replaced = feed.replaced();
  return result;
}

bool sameDecision(const PieceDecision& a, const PieceDecision& b) {
  return a.known == b.known && a.escapes == b.escapes && a.utf8 == b.utf8 && a.decision.code == b.decision.code &&
         a.decision.source.code == b.decision.source.code && a.decision.source.skip == b.decision.source.skip &&
         std::strncmp(a.decision.source.label, b.decision.source.label, sizeof a.decision.source.label) == 0;
}

// A document of one run read alone, whose first piece decides a code it can be read in pieces
// in, is scanned in that code while a thread beside the scan decides its code over the whole,
// as decideCodeInPieces would before the scan. When the whole decides the same, the scan
// stands; else its records are given up, the run's message is as it was before, and the
// document is read as the whole decides. 2: not read so (nothing done but reading); 3: the
// survey failed, with the message set.
constexpr int kNotBeside = 2;
constexpr int kSurveyFailed = 3;

int scanWhileDeciding(ParseRun& run, const InputSet& inputs, ByteSource& source, int slot, const char* name,
                      PieceDecision* found, int64_t* replaced) {
  // With an allocation seam set the allocations are counted in one order, the scan's alone.
  if (!run.pieces.decidesBesideTheScan || inputs.count != 1 || allocationSeamSet() ||
      (run.flow.sink != nullptr && !run.flow.sink->startsOver())) {
    return kNotBeside;
  }
  std::FILE* file = inputs.texts != nullptr ? nullptr : std::fopen(inputs.fileNames[slot], "rb");
  if (inputs.texts == nullptr && file == nullptr) return kNotBeside;
  ByteSource whole = file != nullptr ? ByteSource(file)
                                     : ByteSource(reinterpret_cast<const unsigned char*>(inputs.texts[slot].data()),
                                                  inputs.texts[slot].size());
  const RunRecord before = run;
  std::vector<unsigned char> head(static_cast<std::size_t>(run.pieces.piece));
  const int32_t got = source.read(head.data(), run.pieces.piece);
  // The first piece ends after a byte below 0x40, where no character of more than one byte is cut.
  int32_t firstSize = got;
  while (firstSize > 0 && head[static_cast<std::size_t>(firstSize - 1)] >= 0x40) --firstSize;
  ByteSource first(head.data(), static_cast<std::size_t>(firstSize));
  PieceDecision guess{};
  if (firstSize <= 0 || decideCodeInPieces(run, first, inputs.kind, run.pieces.piece, &guess) != 0 || !guess.known ||
      !readsInPieces(guess.decision, guess.escapes, inputs.working)) {
    static_cast<RunRecord&>(run) = before;
    if (file != nullptr) std::fclose(file);
    if (source.rewind()) return kNotBeside;
    setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
    return kSurveyFailed;
  }
  // The survey has a run of its own: it shares nothing with the scan.
  auto survey = std::make_unique<ParseRun>();
  static_cast<RunRecord&>(*survey) = before;
  survey->pieces = run.pieces;
  // Beside the scan and the writing, a third thread would only take turns with them.
  survey->pieces.checkedInTwo = INT32_MAX;
  int surveyed = 0;
  RecordSink* const sink = run.flow.sink;
  std::thread decider([&] {
    if (sink != nullptr) sink->awaitStarted();
    surveyed = decideCodeInPieces(*survey, whole, inputs.kind, run.pieces.piece, found);
  });
  const int result = scanDecided(run, inputs, source, slot, name, guess, replaced);
  decider.join();
  if (file != nullptr) std::fclose(file);
  if (surveyed == 0 && sameDecision(*found, guess)) return result;
  static_cast<RunRecord&>(run) = before;
  if (run.flow.sink != nullptr && run.flow.sink->startOver(run, slot) != 0) return -1;
  startSlot(run, slot);
  if (surveyed == -1) setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
  // The survey's own message (an area it could not have) is the run's.
  if (surveyed == -2) static_cast<RunRecord&>(run) = *survey;
  if (surveyed != 0) return kSurveyFailed;
  if (!found->known || !readsInPieces(found->decision, found->escapes, inputs.working)) return 1;
  return scanDecided(run, inputs, source, slot, name, *found, replaced);
}

// Reads the document the classic way in pieces into the slot, as loadReadDocument reads it
// whole. 1 (nothing done but reading) when the document can only be read whole.
int scanInPieces(ParseRun& run, const InputSet& inputs, ByteSource& source, int slot, const char* name) {
  PieceDecision found{true, CodeDecision{WholeCode::Unicode, {}}, false};
  int64_t replaced = 0;
  int result = kNotBeside;
  if (inputs.code == DocumentCode::Detect) result = scanWhileDeciding(run, inputs, source, slot, name, &found, &replaced);
  if (result == 1) return 1;
  if (result == kSurveyFailed) return -1;
  if (result == kNotBeside) {
    if (inputs.code == DocumentCode::Detect) {
      const int surveyed = decideCodeInPieces(run, source, inputs.kind, run.pieces.piece, &found);
      if (surveyed == -1) setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
      if (surveyed != 0) return -1;
      if (!found.known) return 1;
    } else {
      // A declared code reads no further than a byte-order mark.
      unsigned char head[8] = {};
      const int32_t got = source.read(head, 4);
      if (got < 0) {
        setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
        return -1;
      }
      found.decision.source = findDocumentCode(head, got, inputs.kind, inputs.code);
    }
    if (!readsInPieces(found.decision, found.escapes, inputs.working)) return 1;
    result = scanDecided(run, inputs, source, slot, name, found, &replaced);
  }
  if (inputs.code == DocumentCode::Detect && inputs.decided != nullptr) inputs.decided(pieceCodeName(found));
  if (result == 0) tellReplaced(run, inputs, name, replaced);
  return result;
}

// Reads the document with the standard parser in pieces into the slot, as loadReadDocument
// reads it whole. 1 (nothing done but reading) when the document can only be read whole.
int parseInPieces(ParseRun& run, const InputSet& inputs, ByteSource& source, int slot, const char* name) {
  DocumentSource found{};
  bool known = true;
  const int surveyed = findCodeInPieces(run, source, inputs.kind, inputs.code, run.pieces.piece, &found, &known);
  if (surveyed == -1) setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
  if (surveyed != 0) return -1;
  // JIS is made Shift-JIS in place, over the whole text.
  if (!known || found.code == SourceCode::Jis) return 1;
  if (!source.rewind()) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, name);
    return -1;
  }
  startSlot(run, slot);
  int64_t replaced = 0;
  int result = parseStandardPieces(run, inputs.kind, found, source, run.pieces.piece, inputs.working, &replaced, name);
  if (result == 0) result = handOnRest(run);
  if (result == 0) storeTableCursor(run, slot);
  if (inputs.code == DocumentCode::Detect && inputs.decided != nullptr) inputs.decided(sourceCodeName(found));
  if (result == 0) tellReplaced(run, inputs, name, replaced);
  return result;
}

// A document from its file or text, in pieces where it can be.
int loadInPieces(ParseRun& run, const InputSet& inputs, int k) {
  // A document of one piece is read whole; one that cannot be measured fails there as before.
  long length = 0;
  if (inputs.texts != nullptr ? static_cast<int64_t>(inputs.texts[k].size()) <= run.pieces.wholeUpTo
                              : getFileLength(&length, inputs.fileNames[k]) != 0 || length <= run.pieces.wholeUpTo) {
    return 1;
  }
  const auto read = inputs.parser == ParserKind::Standard ? parseInPieces : scanInPieces;
  if (inputs.texts != nullptr) {
    ByteSource source(reinterpret_cast<const unsigned char*>(inputs.texts[k].data()), inputs.texts[k].size());
    return read(run, inputs, source, k, inputs.fileNames[k]);
  }
  std::FILE* file = std::fopen(inputs.fileNames[k], "rb");
  if (file == nullptr) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, inputs.fileNames[k]);
    return -1;
  }
  ByteSource source(file);
  const int result = read(run, inputs, source, k, inputs.fileNames[k]);
  std::fclose(file);
  return result;
}

int loadDocuments(ParseRun& run, const InputSet& inputs) {
  ParserScratch& s = run.scratch;
  for (int k = 0; k < inputs.count; ++k) {
    // A build without the standard parser refuses it as it refuses a whole text.
    if (run.pieces.enabled && (inputs.parser == ParserKind::Classic || standardParserAvailable())) {
      const int pieces = loadInPieces(run, inputs, k);
      if (pieces <= 0) {
        if (pieces != 0) return pieces;
        continue;
      }
    }
    const int read =
        inputs.texts != nullptr
            ? copyWholeText(&s.inputText, &s.inputSize, reinterpret_cast<const unsigned char*>(inputs.texts[k].data()),
                            inputs.texts[k].size())
            : readWholeFile(&s.inputText, &s.inputSize, inputs.fileNames[k]);
    if (read != 0 && inputs.texts != nullptr) {
      // A text in memory cannot fail to be read, only to be copied.
      setMessage(run, kCodeTakeFailed, kFmtTakeFailed, kAreaWork, static_cast<long>(inputs.texts[k].size()) + 16);
      return -1;
    }
    if (read != 0) {
      setMessage(run, kCodeReadFailed, kFmtReadFailed, inputs.fileNames[k]);
      return -1;
    }
    const int result = loadReadDocument(run, inputs, k, inputs.fileNames[k]);
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace

namespace {

// Runs a loading step with the parser's scratch areas, given back however the step ends
// (a lack of memory thrown through it among the ways).
template <class Step>
int withParserScratch(ParseRun& run, Step step) {
  const int taken = allocateParserScratch(run);
  if (taken != 0) return taken;
  const OnScopeExit release([&run] { releaseParserScratch(run); });
  return step();
}

}  // namespace

int loadInputs(ParseRun& run, const InputSet& inputs) {
  return withParserScratch(run, [&] {
    return inputs.kind == InputKind::Csv ? loadListings(run, inputs) : loadDocuments(run, inputs);
  });
}

int loadDocumentText(ParseRun& run, InputKind kind, const unsigned char* bytes, int32_t size, ParserKind parser, DocumentCode code,
                     TextCode working) {
  return withParserScratch(run, [&] {
    ParserScratch& s = run.scratch;
    if (size < 0 || size > kLargestAreaSize - 16 || allocZeroed(&s.inputText, static_cast<long>(size) + 16) != 0) {
      setMessage(run, kCodeReadFailed, kFmtReadFailed, "");
      return -1;
    }
    if (size > 0) std::memcpy(s.inputText, bytes, static_cast<std::size_t>(size));
    s.inputSize = size;
    const char noNames[1][kInputNameSize] = {};
    return loadReadDocument(run, InputSet{kind, 1, noNames, parser, code, nullptr, nullptr, working}, 0, "");
  });
}

int loadListing(ParseRun& run, ByteSource& listing, const char* name, int32_t slotCount) {
  return withParserScratch(run, [&] {
    startListings(run, slotCount);
    return readTagListingFrom(run, listing, name, slotCount);
  });
}

}  // namespace mq
