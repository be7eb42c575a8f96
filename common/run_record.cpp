#include "common/run_record.h"

#include <cstring>

#include "common/message_log.h"
#include "common/text_helpers.h"
#include "common/texts.h"

namespace mq {

namespace {

// Copies one stretch of the command line into the next slot; refuses a stretch that
// does not fit, since a cut path would name a different file.
int fillSlot(RunRecord& record, int slot, const char* stretch, int length) {
  const char* first = stretch;
  const char* last = stretch + length;
  while (first < last && isBlank(static_cast<unsigned char>(*first))) ++first;
  while (last > first && isBlank(static_cast<unsigned char>(last[-1]))) --last;
  if (last - first > kArgumentSize - 1) {
    char shown[kArgumentSize + 1] = {};
    std::memcpy(shown, first, kArgumentSize);
    setMessage(record, kCodeParameterError, kFmtParameterError, shown);
    return -1;
  }
  copyTrimmed(record.args[slot], stretch, length);
  return 0;
}

// No arguments yet, the program's name and the "no error" message. Every run starts
// composing and logging in Shift-JIS; settings may say otherwise.
void clearRecord(RunRecord& record, const char* programName) {
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.programName, programName, kProgramNameSize - 1);
  setMessageCodes(record, TextCode::Sjis, TextCode::Sjis);
  setMessage(record, kCodeNoError, "%s", kTextNoError);
}

}  // namespace

int setupRunRecord(RunRecord& record, const char* commandLine, const char* programName) {
  clearRecord(record, programName);

  int start = 0;
  int counted = 0;
  bool spaceSeen = false;
  int slot = 0;
  for (int j = 0;; ++j) {
    const char byte = commandLine[j];
    if (byte == ' ') {
      spaceSeen = true;
    } else {
      if (spaceSeen || byte == '\0') {
        if (fillSlot(record, slot, commandLine + start, counted) != 0) return -1;
        ++slot;
        start = j;
        counted = 0;
        if (slot == kArgumentSlots) break;
      }
      spaceSeen = false;
    }
    if (byte == '\0') break;
    ++counted;
  }
  return 0;
}

int exitCodeOf(int result) {
  if (result == 0) return 0;
  const int code = result & 0xFF;
  return code != 0 ? code : 0xFF;
}

int setupRunRecord(RunRecord& record, int count, const char* const* arguments, const char* programName) {
  clearRecord(record, programName);
  for (int slot = 0; slot < count && slot < kArgumentSlots; ++slot) {
    const std::size_t length = std::strlen(arguments[slot]);
    if (length > static_cast<std::size_t>(kArgumentSize - 1)) {
      char shown[kArgumentSize + 1] = {};
      std::memcpy(shown, arguments[slot], kArgumentSize);
      setMessage(record, kCodeParameterError, kFmtParameterError, shown);
      return -1;
    }
    std::memcpy(record.args[slot], arguments[slot], length);
  }
  return 0;
}

}  // namespace mq
