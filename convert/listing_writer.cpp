#include "convert/listing_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "common/line_writer.h"
#include "common/message_log.h"
#include "common/platform.h"
#include "common/run_record.h"
#include "common/text_helpers.h"
#include "common/texts.h"
#include "markup/parse_tables.h"

namespace mq {

namespace {

bool needsEscape(char byte) { return byte == '\t' || byte == '\n' || byte == '\r'; }

// What a byte is written as in a value: its escape, or nullptr for the byte itself.
const char* escapeOf(char byte) { return byte == '\t' ? "[09]" : byte == '\n' ? "[0A]" : byte == '\r' ? "[0D]" : nullptr; }

bool holdsEscapes(const char* value, int32_t length) {
  int32_t i = 0;
  // Eight bytes at a time while none is below 0x0E, where TAB, LF and CR lie; the last eight
  // are read as one word too, over bytes already passed, instead of one by one.
  while (i + 8 <= length && !holdsByteBelow14(value + i)) i += 8;
  if (i < length && length >= 8 && i + 8 > length && !holdsByteBelow14(value + length - 8)) return false;
  for (; i < length; ++i) {
    // Most bytes are above CR: one comparison settles them.
    if (value[i] <= '\r' && needsEscape(value[i])) return true;
  }
  return false;
}

int writeRecords(ListingRun& run, LineWriter& out, const char* fileName, int32_t slotCount, const ListingFormat& format,
                 ValuePath path) {
  for (int f = 0; f < slotCount; ++f) {
    const ParseTableSlot& slot = run.tables[f];
    if (slot.recordCount == 0) break;
    if (format.writeHeader) writeListingHeader(out, format);
    for (int32_t r = 0; r < slot.recordCount; ++r) {
      if (writeListingLine(run, out, f + 1, slot, *recordAt(slot, r), format, path) != 0) return -1;
      if (out.failed()) {
        setMessage(run, kCodeWriteFailed, kFmtWriteFailed, fileName);
        return -1;
      }
    }
  }
  return 0;
}

}  // namespace

void writeListingHeader(LineWriter& out, const ListingFormat& format) {
  for (const char* field : {"FileNo", "No", "SeaNo", "TagName"}) {
    out.put(field, std::strlen(field));
    out.put(format.separator);
  }
  out.put("Value\r\n", 7);
}

int listingValueOf(ListingRun& run, const ParseTableSlot& slot, const TagRecord& record, const ListingFormat& format,
                   ValuePath path, LineValue* value) {
  const bool empty = record.contentOffset < 0 || record.contentLength <= 0;
  const char* content = empty ? nullptr : contentOf(slot, record);
  const int32_t length = empty ? 0 : record.contentLength;
  // A value with nothing to escape that fits the value area unchanged is written as it
  // stands; escaping it would only copy it there.
  if (path == ValuePath::AsItStands && length > 0 && length + 16 < run.value.size && !holdsEscapes(content, length)) {
    *value = LineValue{content, static_cast<std::size_t>(length), true, false};
    return 0;
  }
  if (escapeValue(run, content, length) != 0) return -1;
  *value = LineValue{reinterpret_cast<const char*>(run.value.bytes), static_cast<std::size_t>(run.value.used), false,
                     format.skipEmptyValues && run.value.used == 0};
  return 0;
}

std::string_view listingValueMade(const char* value, std::size_t length, std::string* scratch) {
  if (!holdsEscapes(value, static_cast<int32_t>(length))) return {value, length};
  scratch->clear();
  std::size_t from = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (value[i] > '\r' || !needsEscape(value[i])) continue;
    scratch->append(value + from, i - from);
    scratch->append(escapeOf(value[i]));
    from = i + 1;
  }
  scratch->append(value + from, length - from);
  return *scratch;
}

void putRecordLine(LineWriter& out, char separator, int fileNo, int32_t objectNo, int32_t seqNo, const char* path,
                   std::size_t pathLength, const char* value, std::size_t valueLength, CountedNumber* objectNumbers) {
  out.putNumber(fileNo);
  out.put(separator);
  if (objectNumbers != nullptr) {
    const std::string_view digits = objectNumbers->of(objectNo);
    out.put(digits.data(), digits.size());
  } else {
    out.putNumber(objectNo);
  }
  out.put(separator);
  out.putNumber(seqNo);
  out.put(separator);
  out.put(path, pathLength);
  out.put(separator);
  out.put(value, valueLength);
  out.put("\r\n", 2);
}

int writeListingLine(ListingRun& run, LineWriter& out, int fileNo, const ParseTableSlot& slot, const TagRecord& record,
                     const ListingFormat& format, ValuePath path) {
  LineValue value{};
  if (listingValueOf(run, slot, record, format, path, &value) != 0) return -1;
  if (!value.skipped) {
    putRecordLine(out, format.separator, fileNo, record.objectNo, record.seqNo, tagPathOf(slot, record),
                  static_cast<std::size_t>(record.tagNameLength), value.bytes, value.length);
  }
  return 0;
}

int takeValueArea(ListingRun& run) {
  run.value.used = 0;
  return takeAreaGroup(run, run.value, kValueAreas);
}

void releaseValueArea(ListingRun& run) {
  releaseAreaGroup(run.value, kValueAreas);
  run.value.size = 0;
  run.value.used = 0;
}

int escapeValue(ListingRun& run, const char* value, int32_t length) {
  // Every byte past the previous value is still zero, so clearing that value clears the
  // area without touching all of a grown one for every record.
  std::memset(run.value.bytes, 0, static_cast<std::size_t>(run.value.used));
  run.value.used = 0;
  if (value == nullptr || length <= 0) return 0;
  for (int32_t i = 0; i < length;) {
    const char byte = value[i];
    const char* escape = escapeOf(byte);
    int32_t taken = 1;
    if (escape != nullptr) {
      std::memcpy(run.value.bytes + run.value.used, escape, 4);
      run.value.used += 4;
    } else {
      // Plain bytes are copied as a run, up to where the next one would need the area grown.
      const int32_t room = run.value.size - 16 - run.value.used;
      while (taken < room && i + taken < length && !needsEscape(value[i + taken])) ++taken;
      std::memcpy(run.value.bytes + run.value.used, value + i, static_cast<std::size_t>(taken));
      run.value.used += taken;
    }
    i += taken;
    // Sixteen zero bytes stay beyond the value, so the next escape fits and the text ends.
    if (ensureFieldRoom(run, run.value, kValueAreas[0], static_cast<long>(run.value.used) + 16) != 0) return -1;
  }
  return 0;
}

int writeTagListing(ListingRun& run, const char* fileName, int32_t slotCount, const ListingFormat& format, ValuePath path) {
  const bool toStandardOutput = std::strcmp(fileName, kStandardStreamName) == 0;
  if (toStandardOutput) useBinaryMode(stdout);
  std::FILE* file = toStandardOutput ? stdout : std::fopen(fileName, "wb");
  if (file == nullptr) {
    setMessage(run, kCodeOpenFailed, kFmtOpenFailed, fileName);
    return -1;
  }
  LineWriter writer(file);
  const int written = writeRecords(run, writer, fileName, slotCount, format, path);
  // Lines already made reach the file even when a later record failed; the last buffered
  // ones reach the disk only at the close, so a failed close is a failed write.
  const bool flushed = writer.flush();
  const bool closed = toStandardOutput ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (written != 0) return written;
  if (!flushed || !closed) {
    setMessage(run, kCodeWriteFailed, kFmtWriteFailed, fileName);
    return -1;
  }
  return 0;
}

int writeTagListingText(ListingRun& run, std::string* text, int32_t slotCount, const ListingFormat& format,
                        ValuePath path) {
  // The writer's block is large for a thread's stack.
  const auto writer = std::make_unique<LineWriter>(text);
  const int written = writeRecords(run, *writer, "", slotCount, format, path);
  writer->flush();
  return written;
}

}  // namespace mq
