#include "convert/output_writer.h"

#include <cstdio>
#include <cstring>

#include "common/line_writer.h"
#include "common/message_log.h"
#include "common/settings.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "common/unicode_conversion.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/output_definitions.h"
#include "convert/record_index.h"
#include "convert/replacement_definitions.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

std::FILE* gOutputFile = nullptr;
bool gListingShortcut = true;

int writeFailed() {
  setMessage(kCodeWriteFailed, kFmtWriteFailed, gSettings.outputFile);
  return -1;
}

bool writeToFile(const void* bytes, std::size_t length) {
  return length == 0 || std::fwrite(bytes, 1, length, gOutputFile) == length;
}

// Opens the output file; -1 with message 1003 when it cannot be created.
int openOutputFile() {
  gOutputFile = std::fopen(gSettings.outputFile, "wb");
  if (gOutputFile == nullptr) {
    setMessage(kCodeReadFailed, kFmtReadFailed, gSettings.outputFile);
    return -1;
  }
  return 0;
}

// Closes the output file; a close that fails after good writing is a failed write.
int closeOutputFile(int result) {
  const bool closed = std::fclose(gOutputFile) == 0;
  gOutputFile = nullptr;
  if (result == 0 && !closed) return writeFailed();
  return result;
}

// The first `limit` bytes of a text, NUL-terminated, for a message field; in UTF-8 no
// character is split.
struct MessageField {
  char text[257];
  MessageField(const char* bytes, int32_t length) {
    const auto whole = static_cast<std::size_t>(length < 0 ? 0 : length);
    const std::size_t count = gSettings.workingCode == TextCode::Utf8 ? utf8Cut(bytes, whole, 256)
                                                                       : (whole > 256 ? 256 : whole);
    if (count > 0) std::memcpy(text, bytes, count);
    text[count] = '\0';
  }
};

int32_t cutTo(int32_t length, int32_t maxLength) { return maxLength != 0 && length > maxLength ? maxLength : length; }

bool isLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

}  // namespace

int writeCut(const char* value, int32_t length, int32_t maxLength) {
  const int32_t cut = cutTo(length, maxLength);
  if (cut == length) return writeOutput(value, length);
  if (gSettings.workingCode == TextCode::Utf8) {
    // In UTF-8 the cut moves back to the first byte of the character it would split.
    return writeOutput(value, static_cast<int32_t>(utf8Cut(value, static_cast<std::size_t>(length),
                                                           static_cast<std::size_t>(cut))));
  }
  int32_t at = 0;
  while (at < cut) {
    const bool pair = isLeadByte(static_cast<unsigned char>(value[at])) && at + 1 < length &&
                      isTrailByte(static_cast<unsigned char>(value[at + 1]));
    at += pair ? 2 : 1;
  }
  if (at == cut) return writeOutput(value, cut);
  // The cut falls inside a character: its first byte would join the template's next byte.
  if (writeOutput(value, cut - 1) != 0) return -1;
  return writeOutput(" ", 1);
}

namespace {

void warnNotInInput(const OutputItem& item, const char* path, bool tagDiffers) {
  if (!gSettings.warnLog) return;
  const MessageField tag(path, item.tagNameLength);
  setMessage(kCodeNotInInput, kFmtNotInInput, tagDiffers ? kDetailTagNameMismatch : kDetailSeqNoMismatch, tag.text,
             static_cast<long>(item.seqNo));
  writeLogLine(gSettings.logFileName);
}

// The bytes of the text before its first NUL, at most `limit`.
std::size_t textLength(const char* text, std::size_t limit) {
  const void* nul = std::memchr(text, 0, limit);
  return nul == nullptr ? limit : static_cast<std::size_t>(static_cast<const char*>(nul) - text);
}

bool needsCleaning(const char* value, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    const char byte = value[i];
    if (byte <= '\r' && (byte == '\t' || byte == '\n' || byte == '\r' || byte == '\0')) return true;
  }
  return false;
}

int writeListingLines(LineWriter& out) {
  for (int f = 0; f < gSettings.inputCount; ++f) {
    const ParseTableSlot& slot = gParseTables[f];
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      const TagRecord& record = *recordAt(slot, r);
      const bool empty = record.contentOffset < 0 || record.contentLength <= 0;
      const char* value = empty ? "" : contentOf(slot, record);
      const int32_t length = empty ? 0 : record.contentLength;
      // A value with nothing to clean that the work area holds without growing is written as
      // it stands: cleaning would only copy it there.
      const bool asItStands =
          gListingShortcut && length + 16 < gOutputAreas.workSize && !needsCleaning(value, length);
      const char* line = value;
      std::size_t lineLength = static_cast<std::size_t>(length);
      if (!asItStands) {
        if (cleanValue(value, length) != 0) return -1;
        line = workText();
        lineLength = std::strlen(line);
      }
      const char* path = tagPathOf(slot, record);
      out.putNumber(f + 1);
      out.put('\t');
      out.putNumber(record.objectNo);
      out.put('\t');
      out.putNumber(record.seqNo);
      out.put('\t');
      out.put(path, textLength(path, static_cast<std::size_t>(record.tagNameLength)));
      out.put('\t');
      out.put(line, lineLength);
      out.put("\r\n", 2);
      if (out.failed()) return writeFailed();
    }
  }
  return 0;
}

}  // namespace

void setListingShortcutEnabled(bool enabled) { gListingShortcut = enabled; }

int writeOutput(const char* bytes, int32_t length) {
  OutputAreas& a = gOutputAreas;
  if (static_cast<long>(a.outputUsed) + length >= kOutputBufferSize) {
    const bool written = writeToFile(a.outputBuffer, static_cast<std::size_t>(a.outputUsed)) &&
                         writeToFile(bytes, static_cast<std::size_t>(length));
    std::memset(a.outputBuffer, 0, static_cast<std::size_t>(a.outputUsed));
    a.outputUsed = 0;
    return written ? 0 : writeFailed();
  }
  if (length > 0) {
    std::memcpy(a.outputBuffer + a.outputUsed, bytes, static_cast<std::size_t>(length));
    a.outputUsed += length;
  }
  return 0;
}

int cleanValue(const char* value, int32_t length) {
  OutputAreas& a = gOutputAreas;
  clearWorkArea();
  for (int32_t i = 0; i < length; ++i) {
    char byte = value[i];
    if (byte == '\t' || byte == '\n' || byte == '\r') {
      const char partner = byte == '\n' ? '\r' : byte == '\r' ? '\n' : '\0';
      if (partner != '\0' && i + 1 < length && value[i + 1] == partner) ++i;
      byte = ' ';
    }
    a.work[a.workUsed++] = static_cast<unsigned char>(byte);
    if (ensureAreaRoom(&a.work, &a.workSize, static_cast<long>(a.workUsed) + 16, kWorkAreaSize, kAreaWork) != 0) {
      return -1;
    }
  }
  return 0;
}

int applyReplacement(const char* value, int32_t length, int32_t maxLength, int32_t replaceNo) {
  const ReplacementEntry* entry = findReplacement(replaceNo);
  if (entry == nullptr) {
    // A refused write ends the expansion before anything more is reported.
    if (writeOutput("?", 1) != 0) return -1;
    if (gSettings.warnLog) {
      const MessageField text(value, static_cast<int32_t>(textLength(value, static_cast<std::size_t>(length))));
      setMessage(kCodeNotInReplace, kFmtNotInReplace, static_cast<int>(replaceNo), text.text);
      writeLogLine(gSettings.logFileName);
    }
    return 0;
  }
  const char* before = replacementText(entry->beforeOffset);
  if (length >= entry->beforeLength &&
      std::memcmp(value, before, static_cast<std::size_t>(entry->beforeLength)) == 0) {
    return writeCut(replacementText(entry->afterOffset), entry->afterLength, maxLength);
  }
  return writeCut(value, length, maxLength);
}

int emitItem(const OutputItem& item) {
  if (item.fileNo == 0 || item.fileNo > gSettings.inputCount) return 0;
  const int slotNo = item.fileNo - 1;
  const char* path = workText() + item.tagNameOffset;
  RecordMatch match{};
  if (findRecord(slotNo, path, item.tagNameLength, item.seqNo, &match) != 0) return -1;
  if (match.record < 0) {
    warnNotInInput(item, path, match.tagDiffers);
    return 0;
  }
  const ParseTableSlot& slot = gParseTables[slotNo];
  const TagRecord& record = *recordAt(slot, match.record);
  const char* value = "";
  int32_t length = 0;
  if (record.contentOffset >= 0 && record.contentLength > 0) {
    value = contentOf(slot, record);
    length = record.contentLength;
  }
  if (gSettings.outputKind == OutputKind::NoCrlf) {
    if (cleanValue(value, length) != 0) return -1;
    value = workText();
    length = static_cast<int32_t>(std::strlen(value));
  }
  if (item.replaceNo > 0) return applyReplacement(value, length, item.maxLength, item.replaceNo);
  return writeCut(value, length, item.maxLength);
}

int expandOutputDefinition() {
  OutputAreas& a = gOutputAreas;
  const auto* text = reinterpret_cast<const char*>(a.definition);
  for (int32_t at = 0; at < a.definitionSize;) {
    const TemplateStretch s = nextStretch(at);
    if (writeOutput(text + s.literalOffset, s.literalLength) != 0) return -1;
    if (s.hasItem) {
      // An item left open would swallow what follows it up to the next END.
      if (!s.closed) return reportItemFault(kDetailItemNotClosed, s.markerOffset);
      clearWorkArea();
      // An item of any length is held: the work area grows to its size first.
      if (ensureAreaRoom(&a.work, &a.workSize, static_cast<long>(s.itemLength) + 16, kWorkAreaSize, kAreaWork) != 0) {
        return -1;
      }
      a.workUsed = copyWithoutBlanks(workText(), text + s.itemOffset, s.itemLength);
      const int result = parseOutputItem(a.workUsed, s.markerOffset);
      if (result != 0) return result;
    }
    at = s.next;
  }
  if (!writeToFile(a.outputBuffer, static_cast<std::size_t>(a.outputUsed))) return writeFailed();
  a.outputUsed = 0;
  return 0;
}

int writeListingOutput() {
  if (openOutputFile() != 0) return -1;
  LineWriter writer(gOutputFile);
  int result = writeListingLines(writer);
  // Lines already made reach the file even when a later record failed.
  const bool flushed = writer.flush();
  if (result == 0 && !flushed) result = writeFailed();
  return closeOutputFile(result);
}

int runOutputPhase() {
  if (takeOutputAreas() != 0) return -1;
  int result = 0;
  if (gSettings.outputKind == OutputKind::Csv) {
    result = writeListingOutput();
  } else if ((result = loadOutputDefinition()) == 0 &&
             (!gSettings.useReplacement || (result = loadReplacementTable()) == 0) &&
             (result = openOutputFile()) == 0) {
    // Unbuffered: the output buffer gathers the bytes, and a refused write shows at once.
    std::setvbuf(gOutputFile, nullptr, _IONBF, 0);
    clearWorkArea();
    result = closeOutputFile(expandOutputDefinition());
  }
  releaseOutputAreas();
  return result;
}

}  // namespace mq
