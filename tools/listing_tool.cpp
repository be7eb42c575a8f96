#include "tools/listing_tool.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/console.h"
#include "common/line_writer.h"
#include "common/message_log.h"
#include "common/texts.h"
#include "common/tool_frame.h"
#include "common/work_areas.h"
#include "markup/input_loading.h"
#include "markup/parse_tables.h"

namespace mq {

ListingOptions gListingOptions;
ValueArea gValueArea;

namespace {

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
  for (const SeparatorEscape& escape : kSeparatorEscapes) {
    if (std::strcmp(text, escape.text) == 0) {
      gListingOptions.separator = escape.separator;
      return;
    }
  }
  // Anything longer (a two-byte character among it) or empty keeps the separator it had.
  if (std::strlen(text) == 1) gListingOptions.separator = text[0];
}

// Tells an option from a file name and applies it; -1 with message 1031 for an argument
// that looks like an option but is none.
int applyOption(const char* argument) {
  if (std::strcmp(argument, "/k") == 0 || std::strcmp(argument, "/K") == 0) {
    gListingOptions.writeHeader = true;
  } else if (std::strcmp(argument, "/d") == 0 || std::strcmp(argument, "/D") == 0) {
    gListingOptions.skipEmptyValues = true;
  } else if (std::strncmp(argument, "/p", 2) == 0 || std::strncmp(argument, "/P", 2) == 0) {
    applySeparatorText(argument + 2);
  } else {
    setMessage(kCodeParameterError, kFmtParameterError, argument);
    return -1;
  }
  return 0;
}

void setWriteFailed() { setMessage(kCodeWriteFailed, kFmtWriteFailed, gListingOptions.listingFile); }

bool needsEscape(const char* value, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    const char byte = value[i];
    if (byte <= '\r' && (byte == '\t' || byte == '\n' || byte == '\r')) return true;
  }
  return false;
}

int writeRecords(LineWriter& out) {
  const char separator = gListingOptions.separator;
  for (int f = 0; f < gSettings.inputCount; ++f) {
    const ParseTableSlot& slot = gParseTables[f];
    if (slot.recordCount == 0) break;
    if (gListingOptions.writeHeader) {
      for (const char* field : {"FileNo", "No", "SeaNo", "TagName"}) {
        out.put(field, std::strlen(field));
        out.put(separator);
      }
      out.put("Value\r\n", 7);
    }
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      const TagRecord& record = *recordAt(slot, r);
      const bool empty = record.contentOffset < 0 || record.contentLength <= 0;
      const char* value = empty ? nullptr : contentOf(slot, record);
      const int32_t length = empty ? 0 : record.contentLength;
      // A value with nothing to escape that fits the value area unchanged is written as it
      // stands; escaping it would only copy it there.
      const bool asItStands = length > 0 && length + 16 < gValueArea.size && !needsEscape(value, length);
      if (!asItStands) {
        if (escapeValue(value, length) != 0) return -1;
        if (gListingOptions.skipEmptyValues && gValueArea.used == 0) continue;
      }
      out.putNumber(f + 1);
      out.put(separator);
      out.putNumber(record.objectNo);
      out.put(separator);
      out.putNumber(record.seqNo);
      out.put(separator);
      out.put(tagPathOf(slot, record), static_cast<std::size_t>(record.tagNameLength));
      out.put(separator);
      if (asItStands) {
        out.put(value, static_cast<std::size_t>(length));
      } else {
        out.put(reinterpret_cast<const char*>(gValueArea.bytes), static_cast<std::size_t>(gValueArea.used));
      }
      out.put("\r\n", 2);
      if (out.failed()) {
        setWriteFailed();
        return -1;
      }
    }
  }
  return 0;
}

}  // namespace

void setListingKind(InputKind kind) { gListingKind = kind; }

int parseListingOptions() {
  gListingOptions.separator = '\t';
  gListingOptions.writeHeader = false;
  gListingOptions.skipEmptyValues = false;
  std::memset(gListingOptions.listingFile, 0, sizeof gListingOptions.listingFile);
  gListingOptions.inputKind = gListingKind;
  gSettings.inputCount = 1;
  gSettings.inputKind = gListingKind;
  std::memset(gSettings.inputFiles[0], 0, sizeof gSettings.inputFiles[0]);

  int fileNames = 0;
  for (const char* argument : gRunRecord.args) {
    if (argument[0] == '/' && !isPathArgument(argument)) {
      if (applyOption(argument) != 0) return -1;
    } else if (argument[0] != '\0') {
      // Slots hold at most 255 bytes, so both names fit their fields whole.
      if (fileNames == 0) std::strcpy(gSettings.inputFiles[0], argument);
      if (fileNames == 1) std::strcpy(gListingOptions.listingFile, argument);
      ++fileNames;
    }
  }
  if (fileNames < 2) {
    setMessage(kCodeParameterError, kFmtParameterError, kDetailFilesNotGiven);
    return -1;
  }
  return 0;
}

int takeListingAreas() {
  gValueArea = ValueArea{};
  if (allocateParseTables() != 0) {
    releaseListingAreas();
    return -1;
  }
  gValueArea.size = kValueAreaSize;
  if (takeArea(&gValueArea.bytes, gValueArea.size, kAreaWork) != 0) {
    releaseListingAreas();
    return -1;
  }
  return 0;
}

void releaseListingAreas() {
  releaseParseTables();
  releaseArea(&gValueArea.bytes);
  gValueArea.size = 0;
  gValueArea.used = 0;
}

int escapeValue(const char* value, int32_t length) {
  // Every byte past the previous value is still zero, so clearing that value clears the
  // area without touching all of a grown one for every record.
  std::memset(gValueArea.bytes, 0, static_cast<std::size_t>(gValueArea.used));
  gValueArea.used = 0;
  if (value == nullptr || length <= 0) return 0;
  for (int32_t i = 0; i < length;) {
    const char byte = value[i];
    const char* escape = byte == '\t' ? "[09]" : byte == '\n' ? "[0A]" : byte == '\r' ? "[0D]" : nullptr;
    int32_t taken = 1;
    if (escape != nullptr) {
      std::memcpy(gValueArea.bytes + gValueArea.used, escape, 4);
      gValueArea.used += 4;
    } else {
      // Plain bytes are copied as a run, up to where the next one would need the area grown.
      const int32_t room = gValueArea.size - 16 - gValueArea.used;
      while (taken < room && i + taken < length && value[i + taken] != '\t' && value[i + taken] != '\n' &&
             value[i + taken] != '\r') {
        ++taken;
      }
      std::memcpy(gValueArea.bytes + gValueArea.used, value + i, static_cast<std::size_t>(taken));
      gValueArea.used += taken;
    }
    i += taken;
    // Sixteen zero bytes stay beyond the value, so the next escape fits and the text ends.
    if (ensureAreaRoom(&gValueArea.bytes, &gValueArea.size, static_cast<long>(gValueArea.used) + 16, kValueAreaSize,
                       kAreaWork) != 0) {
      return -1;
    }
  }
  return 0;
}

int writeListing() {
  // Opened only now: a document that could not be loaded leaves an old listing as it was.
  std::FILE* file = std::fopen(gListingOptions.listingFile, "wb");
  if (file == nullptr) {
    setMessage(kCodeOpenFailed, kFmtOpenFailed, gListingOptions.listingFile);
    return -1;
  }
  LineWriter writer(file);
  const int written = writeRecords(writer);
  // Lines already made reach the file even when a later record failed; the last buffered
  // ones reach the disk only at the close, so a failed close is a failed write.
  const bool flushed = writer.flush();
  const bool closed = std::fclose(file) == 0;
  if (written != 0) return written;
  if (!flushed || !closed) {
    setWriteFailed();
    return -1;
  }
  return 0;
}

int runListing() {
  const int loaded = loadInputs();
  if (loaded != 0) return loaded;
  return writeListing();
}

int runListingTool(const char* commandLine, const char* programName, InputKind kind) {
  setListingKind(kind);
  const ToolSteps steps{parseListingOptions, gListingOptions.listingFile, takeListingAreas, runListing,
                        releaseListingAreas};
  return runTool(commandLine, programName, steps);
}

}  // namespace mq
