#include "markup/input_loading.h"

#include <cstring>

#include "common/code_conversion.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/settings.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/listing_reader.h"
#include "markup/parse_tables.h"
#include "markup/scanner.h"

namespace mq {

namespace {

int loadListings() {
  for (int k = 0; k < gSettings.inputCount; ++k) gParseTables[k].recordCount = 0;
  // The text offsets run on across every listing of the run.
  gTableCursor.tagNameUsed = 0;
  gTableCursor.contentUsed = 0;
  for (int k = 0; k < gSettings.inputCount; ++k) {
    const int result = readTagListing(gSettings.inputFiles[k]);
    if (result != 0) return result;
  }
  return 0;
}

int loadDocuments() {
  for (int k = 0; k < gSettings.inputCount; ++k) {
    const int loaded = loadDocument(gSettings.inputFiles[k]);
    if (loaded != 0) return loaded;
    openTableCursor(k);
    gTableCursor.recordCount = 0;
    gTableCursor.tagNameUsed = 0;
    gTableCursor.contentUsed = 0;
    resetScanner();
    const int scanned = scanMarkup();
    if (scanned != 0) return scanned;
    releaseArea(&gParserScratch.inputText);
    gParserScratch.inputSize = 0;
    storeTableCursor(k);
  }
  return 0;
}

}  // namespace

int loadInputs() {
  const int taken = allocateParserScratch();
  if (taken != 0) return taken;
  const int result = gSettings.inputKind == InputKind::Csv ? loadListings() : loadDocuments();
  releaseParserScratch();
  return result;
}

int loadDocument(const char* fileName) {
  ParserScratch& s = gParserScratch;
  if (readWholeFile(&s.inputText, &s.inputSize, fileName) != 0) {
    setMessage(kCodeReadFailed, kFmtReadFailed, fileName);
    releaseParserScratch();
    return -1;
  }
  unsigned char* conversionArea = nullptr;
  if (takeArea(&conversionArea, s.inputSize + 16, kAreaConversion) != 0) {
    releaseParserScratch();
    return -1;
  }
  // Shift-JIS output never runs ahead of its input, so the text is converted where it
  // stands and the bytes it gave up are cleared; the conversion area stays untouched.
  const int32_t converted = ConvertCode(s.inputText, s.inputText, s.inputSize, CodeKind::Sjis);
  std::memset(s.inputText + converted, 0, static_cast<std::size_t>(s.inputSize - converted));
  releaseArea(&conversionArea);
  return 0;
}

}  // namespace mq
