// The library's calls: each one makes a run of its own, drives the same steps as the
// programs, and turns the run's message, warnings and tables into values.
#include "marquill/marquill.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/byte_source.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/run_record.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/listing_writer.h"
#include "convert/output_run.h"
#include "convert/output_writer.h"
#include "convert/recode_pipeline.h"
#include "markup/code_decision.h"
#include "markup/document_code.h"
#include "markup/input_loading.h"
#include "markup/standard_parser.h"

namespace marquill {

namespace {

using mq::DocumentCode;
using mq::InputKind;
using mq::ParserKind;
using mq::TextCode;

TextCode textCode(Working working) { return working == Working::Utf8 ? TextCode::Utf8 : TextCode::Sjis; }
InputKind inputKind(Kind kind) { return kind == Kind::Xml ? InputKind::Xml : InputKind::Html; }
ParserKind parserKind(Parser parser) { return parser == Parser::Standard ? ParserKind::Standard : ParserKind::Classic; }

DocumentCode documentCode(Code code) {
  switch (code) {
    case Code::Utf8:
      return DocumentCode::Utf8;
    case Code::Utf16:
      return DocumentCode::Utf16;
    case Code::Sjis:
      return DocumentCode::Sjis;
    case Code::Euc:
      return DocumentCode::Euc;
    case Code::Jis:
      return DocumentCode::Jis;
    default:
      return DocumentCode::Detect;
  }
}

Message messageOf(const mq::RunRecord& record) {
  return Message{record.messageCode, record.messageText, record.messageRow, record.messageColumn};
}

// A record as a run of the library starts it: no arguments, "no error", composed in the
// working code.
void startRecord(mq::RunRecord& record, TextCode working) {
  mq::setupRunRecord(record, "", "marquill");
  mq::setMessageCodes(record, working, working);
  mq::setMessage(record, mq::kCodeNoError, "%s", mq::kTextNoError);
}

// The failure a step left in the record; a step that failed without a message of its own
// (none does) would still not read as success.
void takeFailure(Outcome& outcome, const mq::RunRecord& record) {
  outcome.failure = messageOf(record);
  if (outcome.failure.code == mq::kCodeNoError) outcome.failure.code = -1;
}

// A result that could not be held: the memory message, as the programs give it.
template <class Result>
Result outOfMemory(TextCode working) {
  Result result;
  mq::RunRecord record{};
  mq::setMessageCodes(record, working, working);
  mq::reportLackOfMemory(record);
  result.failure = messageOf(record);
  return result;
}

// A setting the programs would refuse in their settings file, refused the same way.
int refuseSetting(mq::RunRecord& record, const char* section, const char* key) {
  mq::setMessage(record, mq::kCodeSettingError, mq::kFmtSettingError, section, key);
  return -1;
}

// Loads the texts into the first slots, documents or listings, gathering the warnings and
// the decided code into the outcome. The slots must be taken.
int loadTexts(mq::ParseRun& run, Outcome& outcome, const std::string_view* texts, int32_t count, InputKind kind,
              const ReadOptions& options) {
  if (kind != InputKind::Csv && options.parser == Parser::Standard && !mq::standardParserAvailable()) {
    return mq::refuseStandardParser(run, "PARSER=STANDARD");
  }
  // Documents in memory have no file names; their messages name none.
  const char names[mq::kMaxInputs][mq::kInputNameSize] = {};
  mq::InputSet inputs{kind,
                      count,
                      names,
                      parserKind(options.parser),
                      documentCode(options.code),
                      [&run, &outcome] { outcome.warnings.push_back(messageOf(run)); },
                      [&outcome](const char* name) { outcome.decidedCode = name; },
                      textCode(options.working),
                      texts};
  return mq::loadInputs(run, inputs);
}

void collectRecords(const mq::ParseRun& run, int32_t slotCount, std::vector<Record>& records) {
  for (int32_t f = 0; f < slotCount; ++f) {
    const mq::ParseTableSlot& slot = run.tables[f];
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      const mq::TagRecord& tag = *mq::recordAt(slot, r);
      Record record;
      record.file = f + 1;
      record.object = tag.objectNo;
      record.sequence = tag.seqNo;
      record.path.assign(mq::tagPathOf(slot, tag), static_cast<std::size_t>(tag.tagNameLength));
      if (tag.contentOffset >= 0 && tag.contentLength > 0) {
        record.value.assign(mq::contentOf(slot, tag), static_cast<std::size_t>(tag.contentLength));
      }
      records.push_back(std::move(record));
    }
  }
}

Records readInto(std::string_view text, InputKind kind, const ReadOptions& options) {
  Records result;
  const auto run = std::make_unique<mq::ParseRun>();
  startRecord(*run, textCode(options.working));
  if (mq::allocateParseTables(*run, 1) != 0 || loadTexts(*run, result, &text, 1, kind, options) != 0) {
    takeFailure(result, *run);
  } else {
    collectRecords(*run, 1, result.records);
  }
  mq::releaseParseTables(*run);
  return result;
}

}  // namespace

Records read(std::string_view document, const ReadOptions& options) try {
  return readInto(document, inputKind(options.kind), options);
} catch (const std::bad_alloc&) {
  return outOfMemory<Records>(textCode(options.working));
}

Records readListing(std::string_view listing, Working working, std::string_view name) try {
  Records result;
  const auto run = std::make_unique<mq::ParseRun>();
  startRecord(*run, textCode(working));
  const std::string named(name.substr(0, mq::kInputNameSize - 1));
  // A listing may hold the records of all nine documents of a run.
  mq::ByteSource source(reinterpret_cast<const unsigned char*>(listing.data()), listing.size());
  if (mq::allocateParseTables(*run, mq::kMaxInputs) != 0 ||
      mq::loadListing(*run, source, named.c_str(), mq::kMaxInputs) != 0) {
    takeFailure(result, *run);
  } else {
    collectRecords(*run, mq::kMaxInputs, result.records);
  }
  mq::releaseParseTables(*run);
  return result;
} catch (const std::bad_alloc&) {
  return outOfMemory<Records>(textCode(working));
}

Text listing(std::string_view document, const ReadOptions& options, const ListingFormat& format) try {
  Text result;
  const auto run = std::make_unique<mq::ListingRun>();
  startRecord(*run, textCode(options.working));
  const mq::ListingFormat written{format.separator, format.header, format.skipEmptyValues};
  // The areas in the listing tools' order, so that a lack of memory is met where they meet it.
  if (mq::allocateParseTables(*run, 1) != 0 || mq::takeValueArea(*run) != 0 ||
      loadTexts(*run, result, &document, 1, inputKind(options.kind), options) != 0 ||
      mq::writeTagListingText(*run, &result.text, 1, written) != 0) {
    takeFailure(result, *run);
    result.text.clear();
  }
  mq::releaseParseTables(*run);
  mq::releaseValueArea(*run);
  return result;
} catch (const std::bad_alloc&) {
  return outOfMemory<Text>(textCode(options.working));
}

namespace {

// The settings a fill stands for; -1 with Marquill's setting error for one it would refuse.
int settleFill(mq::OutputRun& run, int32_t documents, const FillOptions& options) {
  mq::Settings& s = run.settings;
  s.warnLog = true;  // every warning is gathered
  s.workingCode = textCode(options.read.working);
  s.logCode = s.workingCode;
  s.outputKind = options.kind == FillKind::Csv      ? mq::OutputKind::Csv
                 : options.kind == FillKind::NoCrlf ? mq::OutputKind::NoCrlf
                                                    : mq::OutputKind::Normal;
  if (s.outputKind != mq::OutputKind::Csv) {
    const auto fits = [](const std::string& marker) {
      return !marker.empty() && marker.size() < static_cast<std::size_t>(mq::kMarkerSize) &&
             std::memchr(marker.data(), 0, marker.size()) == nullptr;
    };
    if (!fits(options.startMarker)) return refuseSetting(run, "SET", "START");
    if (!fits(options.endMarker)) return refuseSetting(run, "SET", "END");
    std::memcpy(s.startMarker, options.startMarker.data(), options.startMarker.size());
    std::memcpy(s.endMarker, options.endMarker.data(), options.endMarker.size());
  }
  // More documents than nine would be dropped by the settings file's rule; here they are refused.
  if (documents < 1 || documents > mq::kMaxInputs) return refuseSetting(run, "INFILE", "COUNT");
  s.inputCount = documents;
  s.inputKind = options.documentsAreListings ? InputKind::Csv : inputKind(options.read.kind);
  s.parser = parserKind(options.read.parser);
  s.documentCode = documentCode(options.read.code);
  s.useReplacement = options.useReplacements;
  return 0;
}

}  // namespace

Text fill(std::string_view templateText, const std::vector<std::string_view>& documents, const FillOptions& options) try {
  Text result;
  const auto run = std::make_unique<mq::OutputRun>();
  startRecord(*run, textCode(options.read.working));
  const std::string definition(templateText);
  const std::string replacements(options.replacements);
  run->templateText = &definition;
  run->replacementText = &replacements;
  run->outputText = &result.text;
  run->warned = [&run = *run, &result] { result.warnings.push_back(messageOf(run)); };
  const auto count = static_cast<int32_t>(documents.size());
  if (settleFill(*run, count, options) != 0 || mq::allocateParseTables(*run, count) != 0 ||
      loadTexts(*run, result, documents.data(), count, run->settings.inputKind, options.read) != 0 ||
      mq::runOutputPhase(*run) != 0) {
    takeFailure(result, *run);
    result.text.clear();
  }
  mq::releaseParseTables(*run);
  return result;
} catch (const std::bad_alloc&) {
  return outOfMemory<Text>(textCode(options.read.working));
}

namespace {

mq::RecodeTarget recodeTarget(Target target) {
  switch (target) {
    case Target::Euc:
      return mq::RecodeTarget::Euc;
    case Target::Jis:
      return mq::RecodeTarget::Jis;
    case Target::Utf8:
      return mq::RecodeTarget::Utf8;
    default:
      return mq::RecodeTarget::Sjis;
  }
}

// The areas between the steps of the way and its output, as ToolRecast takes them.
struct RecodeAreas {
  unsigned char* between[2] = {nullptr, nullptr};
  unsigned char* output = nullptr;
  ~RecodeAreas() {
    mq::releaseArea(&between[0]);
    mq::releaseArea(&between[1]);
    mq::releaseArea(&output);
  }
};

int recodeInto(mq::RunRecord& record, Recoded& result, const unsigned char* text, int32_t size, Target target,
               Code source) {
  RecodeAreas areas;
  if (mq::takeArea(record, &areas.output, mq::kRecodeStepRoom, mq::kAreaOutput) != 0 ||
      mq::takeArea(record, &areas.between[0], mq::kRecodeStepRoom, mq::kAreaConversion) != 0 ||
      mq::takeArea(record, &areas.between[1], mq::kRecodeStepRoom, mq::kAreaConversion) != 0) {
    return -1;
  }
  const mq::CodeDecision decision =
      source == Code::Detect ? mq::decideWholeCode(text, size, InputKind::Html)
                             : mq::decisionFor(mq::findDocumentCode(text, size, InputKind::Html, documentCode(source)));
  mq::RecodePipeline pipeline{};
  if (mq::openRecodePipeline(&pipeline, decision, recodeTarget(target)) != 0) {
    mq::closeRecodePipeline(&pipeline);
    mq::setMessage(record, mq::kCodeParameterError, mq::kFmtParameterError, "CODE");
    return -1;
  }
  int32_t at = decision.source.skip;
  do {
    const int32_t left = size - at;
    const int32_t length = left < mq::kRecodeInputPiece ? left : mq::kRecodeInputPiece;
    at += length;
    const int32_t produced =
        mq::recodePiece(&pipeline, text + at - length, length, at == size, areas.between, areas.output);
    result.text.append(reinterpret_cast<const char*>(areas.output), static_cast<std::size_t>(produced));
  } while (at < size);
  result.replaced = mq::recodeReplaced(pipeline);
  mq::closeRecodePipeline(&pipeline);
  if (source == Code::Detect) result.decidedCode = mq::wholeCodeName(decision, text, size);
  if (result.replaced > 0) {
    mq::setMessage(record, mq::kCodeReplacedCharacters, mq::kFmtReplacedCharacters, "",
                   static_cast<long>(result.replaced));
    result.warnings.push_back(messageOf(record));
  }
  return 0;
}

}  // namespace

Recoded recode(std::string_view text, Target target, Code source, Working messages) try {
  Recoded result;
  mq::RunRecord record{};
  startRecord(record, textCode(messages));
  // Some codes are read in place (JIS is turned into Shift-JIS where it stands), so the
  // text is copied into a block with the zero bytes the readers expect after it.
  unsigned char* block = nullptr;
  int32_t size = 0;
  if (mq::copyWholeText(&block, &size, reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 0) {
    mq::setMessage(record, mq::kCodeTakeFailed, mq::kFmtTakeFailed, mq::kAreaConversion,
                   static_cast<long>(text.size()) + 16);
    takeFailure(result, record);
  } else if (recodeInto(record, result, block, size, target, source) != 0) {
    takeFailure(result, record);
    result.text.clear();
  }
  mq::releaseArea(&block);
  return result;
} catch (const std::bad_alloc&) {
  return outOfMemory<Recoded>(textCode(messages));
}

const char* version() { return MQ_VERSION; }

bool hasStandardParser() { return mq::standardParserAvailable(); }

}  // namespace marquill
