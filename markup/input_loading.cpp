#include "markup/input_loading.h"

#include <cstring>

#include "common/code_conversion.h"
#include "common/file_reading.h"
#include "common/message_log.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/listing_reader.h"
#include "markup/parse_tables.h"
#include "markup/parser_scratch.h"
#include "markup/scanner.h"

namespace mq {

namespace {

// Listings start their slots afresh, and their text offsets run on across every listing
// of the run.
void startListings(int32_t slotCount) {
  for (int k = 0; k < slotCount; ++k) gParseTables[k].recordCount = 0;
  gTableCursor.tagNameUsed = 0;
  gTableCursor.contentUsed = 0;
}

int loadListings(const InputSet& inputs) {
  startListings(inputs.count);
  for (int k = 0; k < inputs.count; ++k) {
    const int result = readTagListing(inputs.fileNames[k], inputs.count);
    if (result != 0) return result;
  }
  return 0;
}

// Converts the document in the input text to Shift-JIS and scans it into the slot.
int scanDocument(InputKind kind, int slot) {
  ParserScratch& s = gParserScratch;
  unsigned char* conversionArea = nullptr;
  if (takeArea(&conversionArea, s.inputSize + 16, kAreaConversion) != 0) return -1;
  // Shift-JIS output never runs ahead of its input, so the text is converted where it
  // stands and the bytes it gave up are cleared; the conversion area stays untouched.
  const int32_t converted = ConvertCode(s.inputText, s.inputText, s.inputSize, CodeKind::Sjis);
  std::memset(s.inputText + converted, 0, static_cast<std::size_t>(s.inputSize - converted));
  releaseArea(&conversionArea);

  openTableCursor(slot);
  gTableCursor.recordCount = 0;
  gTableCursor.tagNameUsed = 0;
  gTableCursor.contentUsed = 0;
  const int scanned = scanMarkup(kind);
  if (scanned != 0) return scanned;
  releaseArea(&s.inputText);
  s.inputSize = 0;
  storeTableCursor(slot);
  return 0;
}

int loadDocuments(const InputSet& inputs) {
  ParserScratch& s = gParserScratch;
  for (int k = 0; k < inputs.count; ++k) {
    if (readWholeFile(&s.inputText, &s.inputSize, inputs.fileNames[k]) != 0) {
      setMessage(kCodeReadFailed, kFmtReadFailed, inputs.fileNames[k]);
      return -1;
    }
    const int result = scanDocument(inputs.kind, k);
    if (result != 0) return result;
  }
  return 0;
}

}  // namespace

int loadInputs(const InputSet& inputs) {
  const int taken = allocateParserScratch();
  if (taken != 0) return taken;
  const int result = inputs.kind == InputKind::Csv ? loadListings(inputs) : loadDocuments(inputs);
  releaseParserScratch();
  return result;
}

int loadDocumentText(InputKind kind, const unsigned char* bytes, int32_t size) {
  const int taken = allocateParserScratch();
  if (taken != 0) return taken;
  ParserScratch& s = gParserScratch;
  int result = -1;
  if (size >= 0 && size <= kLargestAreaSize - 16 && allocZeroed(&s.inputText, static_cast<long>(size) + 16) == 0) {
    if (size > 0) std::memcpy(s.inputText, bytes, static_cast<std::size_t>(size));
    s.inputSize = size;
    result = scanDocument(kind, 0);
  } else {
    setMessage(kCodeReadFailed, kFmtReadFailed, "");
  }
  releaseParserScratch();
  return result;
}

int loadListing(std::FILE* listing, const char* name, int32_t slotCount) {
  const int taken = allocateParserScratch();
  if (taken != 0) return taken;
  startListings(slotCount);
  const int result = readTagListingFrom(listing, name, slotCount);
  releaseParserScratch();
  return result;
}

}  // namespace mq
