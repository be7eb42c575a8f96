#include "convert/output_writer.h"
#include "convert/output_run.h"

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

int writeFailed(OutputRun& run) {
  setMessage(run, kCodeWriteFailed, kFmtWriteFailed, run.settings.outputFile);
  return -1;
}

bool writeToFile(OutputRun& run, const void* bytes, std::size_t length) {
  if (run.outputText != nullptr) {
    run.outputText->append(static_cast<const char*>(bytes), length);
    return true;
  }
  return length == 0 || std::fwrite(bytes, 1, length, run.outputFile) == length;
}

// Opens the output file; -1 with message 1003 when it cannot be created. Output gathered
// as text needs none.
int openOutputFile(OutputRun& run) {
  if (run.outputText != nullptr) return 0;
  run.outputFile = std::fopen(run.settings.outputFile, "wb");
  if (run.outputFile == nullptr) {
    setMessage(run, kCodeReadFailed, kFmtReadFailed, run.settings.outputFile);
    return -1;
  }
  return 0;
}

// Closes the output file; a close that fails after good writing is a failed write.
int closeOutputFile(OutputRun& run, int result) {
  if (run.outputText != nullptr) return result;
  const bool closed = std::fclose(run.outputFile) == 0;
  run.outputFile = nullptr;
  if (result == 0 && !closed) return writeFailed(run);
  return result;
}

// The first `limit` bytes of a text, NUL-terminated, for a message field; in UTF-8 no
// character is split.
struct MessageField {
  char text[257];
  MessageField(TextCode working, const char* bytes, int32_t length) {
    const auto whole = static_cast<std::size_t>(length < 0 ? 0 : length);
    const std::size_t count = working == TextCode::Utf8 ? utf8Cut(bytes, whole, 256)
                                                                       : (whole > 256 ? 256 : whole);
    if (count > 0) std::memcpy(text, bytes, count);
    text[count] = '\0';
  }
};

int32_t cutTo(int32_t length, int32_t maxLength) { return maxLength != 0 && length > maxLength ? maxLength : length; }

bool isLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

}  // namespace

int writeCut(OutputRun& run, const char* value, int32_t length, int32_t maxLength) {
  const int32_t cut = cutTo(length, maxLength);
  if (cut == length) return writeOutput(run, value, length);
  if (run.settings.workingCode == TextCode::Utf8) {
    // In UTF-8 the cut moves back to the first byte of the character it would split.
    return writeOutput(run, value, static_cast<int32_t>(utf8Cut(value, static_cast<std::size_t>(length),
                                                           static_cast<std::size_t>(cut))));
  }
  int32_t at = 0;
  while (at < cut) {
    const bool pair = isLeadByte(static_cast<unsigned char>(value[at])) && at + 1 < length &&
                      isTrailByte(static_cast<unsigned char>(value[at + 1]));
    at += pair ? 2 : 1;
  }
  if (at == cut) return writeOutput(run, value, cut);
  // The cut falls inside a character: its first byte would join the template's next byte.
  if (writeOutput(run, value, cut - 1) != 0) return -1;
  return writeOutput(run, " ", 1);
}

namespace {

// A warning of the output phase goes to the run's log, or to whoever gathers the run's
// warnings instead.
void passWarningOn(OutputRun& run) {
  if (run.warned) {
    run.warned();
  } else {
    writeLogLine(run, run.settings.logFileName);
  }
}

void warnNotInInput(OutputRun& run, const OutputItem& item, const char* path, bool tagDiffers) {
  if (!run.settings.warnLog) return;
  const MessageField tag(run.settings.workingCode, path, item.tagNameLength);
  setMessage(run, kCodeNotInInput, kFmtNotInInput, tagDiffers ? kDetailTagNameMismatch : kDetailSeqNoMismatch, tag.text,
             static_cast<long>(item.seqNo));
  passWarningOn(run);
}

// The byte a value's byte at *i is cleaned into: TAB, CR and LF a space, the pairs CR LF and
// LF CR one space (*i passes the second).
char cleanedByte(const char* value, int32_t length, int32_t* i) {
  const char byte = value[*i];
  if (byte != '\t' && byte != '\n' && byte != '\r') return byte;
  const char partner = byte == '\n' ? '\r' : byte == '\r' ? '\n' : '\0';
  if (partner != '\0' && *i + 1 < length && value[*i + 1] == partner) ++*i;
  return ' ';
}

bool needsCleaning(const char* value, int32_t length) {
  int32_t i = 0;
  // Eight bytes at a time while none is below 0x0E, where TAB, LF, CR and NUL lie.
  while (i + 8 <= length && !holdsByteBelow14(value + i)) i += 8;
  for (; i < length; ++i) {
    const char byte = value[i];
    if (byte <= '\r' && (byte == '\t' || byte == '\n' || byte == '\r' || byte == '\0')) return true;
  }
  return false;
}

int writeListingLines(OutputRun& run, LineWriter& out) {
  for (int f = 0; f < run.settings.inputCount; ++f) {
    const ParseTableSlot& slot = run.tables[f];
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      if (writeCsvLine(run, out, f + 1, slot, *recordAt(slot, r)) != 0) return -1;
      if (out.failed()) return writeFailed(run);
    }
  }
  return 0;
}

}  // namespace

void setListingShortcutEnabled(OutputRun& run, bool enabled) { run.listingShortcut = enabled; }

int csvValueOf(OutputRun& run, const ParseTableSlot& slot, const TagRecord& record, LineValue* value) {
  const bool empty = record.contentOffset < 0 || record.contentLength <= 0;
  const char* content = empty ? "" : contentOf(slot, record);
  const int32_t length = empty ? 0 : record.contentLength;
  // A value with nothing to clean that the work area holds without growing is written as
  // it stands: cleaning would only copy it there.
  if (run.listingShortcut && length + 16 < run.output.workSize && !needsCleaning(content, length)) {
    *value = LineValue{content, static_cast<std::size_t>(length), !empty, false};
    return 0;
  }
  if (cleanValue(run, content, length) != 0) return -1;
  *value = LineValue{workText(run), std::strlen(workText(run)), false, false};
  return 0;
}

std::string_view csvValueMade(const char* value, std::size_t length, std::string* scratch) {
  if (!needsCleaning(value, static_cast<int32_t>(length))) return {value, length};
  scratch->clear();
  const auto count = static_cast<int32_t>(length);
  for (int32_t i = 0; i < count && value[i] != '\0'; ++i) scratch->push_back(cleanedByte(value, count, &i));
  return *scratch;
}

int writeCsvLine(OutputRun& run, LineWriter& out, int fileNo, const ParseTableSlot& slot, const TagRecord& record) {
  LineValue value{};
  if (csvValueOf(run, slot, record, &value) != 0) return -1;
  const char* path = tagPathOf(slot, record);
  putRecordLine(out, '\t', fileNo, record.objectNo, record.seqNo, path,
                textLength(path, static_cast<std::size_t>(record.tagNameLength)), value.bytes, value.length);
  return 0;
}

int writeOutput(OutputRun& run, const char* bytes, int32_t length) {
  OutputAreas& a = run.output;
  if (static_cast<long>(a.outputUsed) + length >= kOutputBufferSize) {
    const bool written = writeToFile(run, a.outputBuffer, static_cast<std::size_t>(a.outputUsed)) &&
                         writeToFile(run, bytes, static_cast<std::size_t>(length));
    std::memset(a.outputBuffer, 0, static_cast<std::size_t>(a.outputUsed));
    a.outputUsed = 0;
    return written ? 0 : writeFailed(run);
  }
  if (length > 0) {
    std::memcpy(a.outputBuffer + a.outputUsed, bytes, static_cast<std::size_t>(length));
    a.outputUsed += length;
  }
  return 0;
}

int cleanValue(OutputRun& run, const char* value, int32_t length) {
  OutputAreas& a = run.output;
  clearWorkArea(run);
  for (int32_t i = 0; i < length; ++i) {
    a.work[a.workUsed++] = static_cast<unsigned char>(cleanedByte(value, length, &i));
    if (ensureAreaRoom(run, &a.work, &a.workSize, static_cast<long>(a.workUsed) + 16, kWorkAreaSize, kAreaWork) != 0) {
      return -1;
    }
  }
  return 0;
}

int applyReplacement(OutputRun& run, const char* value, int32_t length, int32_t maxLength, int32_t replaceNo) {
  const ReplacementEntry* entry = findReplacement(run, replaceNo);
  if (entry == nullptr) {
    // A refused write ends the expansion before anything more is reported.
    if (writeOutput(run, "?", 1) != 0) return -1;
    if (run.settings.warnLog) {
      const MessageField text(run.settings.workingCode, value, static_cast<int32_t>(textLength(value, static_cast<std::size_t>(length))));
      setMessage(run, kCodeNotInReplace, kFmtNotInReplace, static_cast<int>(replaceNo), text.text);
      passWarningOn(run);
    }
    return 0;
  }
  const char* before = replacementText(run, entry->beforeOffset);
  if (length >= entry->beforeLength &&
      std::memcmp(value, before, static_cast<std::size_t>(entry->beforeLength)) == 0) {
    return writeCut(run, replacementText(run, entry->afterOffset), entry->afterLength, maxLength);
  }
  return writeCut(run, value, length, maxLength);
}

int emitItem(OutputRun& run, const OutputItem& item) { return emitItem(run, item, workText(run) + item.tagNameOffset); }

int emitItem(OutputRun& run, const OutputItem& item, const char* path) {
  if (item.fileNo == 0 || item.fileNo > run.settings.inputCount) return 0;
  const int slotNo = item.fileNo - 1;
  RecordMatch match{};
  if (findRecord(run, slotNo, path, item.tagNameLength, item.seqNo, &match) != 0) return -1;
  if (match.record < 0) {
    warnNotInInput(run, item, path, match.tagDiffers);
    return 0;
  }
  const ParseTableSlot& slot = run.tables[slotNo];
  const TagRecord& record = *recordAt(slot, match.record);
  const char* value = "";
  int32_t length = 0;
  if (record.contentOffset >= 0 && record.contentLength > 0) {
    value = contentOf(slot, record);
    length = record.contentLength;
  }
  if (run.settings.outputKind == OutputKind::NoCrlf) {
    if (cleanValue(run, value, length) != 0) return -1;
    value = workText(run);
    length = static_cast<int32_t>(std::strlen(value));
  }
  if (item.replaceNo > 0) return applyReplacement(run, value, length, item.maxLength, item.replaceNo);
  return writeCut(run, value, length, item.maxLength);
}

int expandOutputDefinition(OutputRun& run) {
  OutputAreas& a = run.output;
  const auto* text = reinterpret_cast<const char*>(a.definition);
  const StretchMarkers markers = stretchMarkersOf(run);
  for (int32_t at = 0; at < a.definitionSize;) {
    // A stretch found before the documents is not searched for again.
    TemplateStretch s{};
    if (run.answers == nullptr || !run.answers->stretchAt(at, &s)) {
      ++run.stretchesSearched;
      s = nextStretch(run, at, markers);
    }
    if (writeOutput(run, text + s.literalOffset, s.literalLength) != 0) return -1;
    if (s.hasItem) {
      // An item left open would swallow what follows it up to the next END.
      if (!s.closed) return reportItemFault(run, kDetailItemNotClosed, s.markerOffset);
      clearWorkArea(run);
      // An item of any length is held: the work area grows to its size first.
      if (ensureAreaRoom(run, &a.work, &a.workSize, static_cast<long>(s.itemLength) + 16, kWorkAreaSize, kAreaWork) != 0) {
        return -1;
      }
      // An item read before the documents is not read again.
      const KnownItem* known = run.answers != nullptr ? run.answers->itemAt(s.markerOffset) : nullptr;
      int result = 0;
      if (known != nullptr) {
        result = emitItem(run, known->item, known->path);
      } else {
        ++run.itemsRead;
        a.workUsed = copyWithoutBlanks(workText(run), text + s.itemOffset, s.itemLength);
        result = parseOutputItem(run, a.workUsed, s.markerOffset);
      }
      if (result != 0) return result;
    }
    at = s.next;
  }
  if (!writeToFile(run, a.outputBuffer, static_cast<std::size_t>(a.outputUsed))) return writeFailed(run);
  a.outputUsed = 0;
  return 0;
}

int writeListingOutput(OutputRun& run) {
  if (openOutputFile(run) != 0) return -1;
  LineWriter writer = run.outputText != nullptr ? LineWriter(run.outputText) : LineWriter(run.outputFile);
  int result = writeListingLines(run, writer);
  // Lines already made reach the file even when a later record failed.
  const bool flushed = writer.flush();
  if (result == 0 && !flushed) result = writeFailed(run);
  return closeOutputFile(run, result);
}

int runOutputPhase(OutputRun& run) {
  if (takeOutputAreas(run) != 0) return -1;
  int result = 0;
  if (run.settings.outputKind == OutputKind::Csv) {
    result = writeListingOutput(run);
  } else if ((result = loadOutputDefinition(run)) == 0 &&
             (!run.settings.useReplacement || (result = loadReplacementTable(run)) == 0) &&
             (result = openOutputFile(run)) == 0) {
    // Unbuffered: the output buffer gathers the bytes, and a refused write shows at once.
    if (run.outputFile != nullptr) std::setvbuf(run.outputFile, nullptr, _IONBF, 0);
    clearWorkArea(run);
    result = closeOutputFile(run, expandOutputDefinition(run));
  }
  releaseOutputAreas(run);
  return result;
}

}  // namespace mq
