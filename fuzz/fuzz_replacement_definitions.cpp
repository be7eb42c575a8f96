// A replacement-definition file read into the replacement table of freshly taken output
// areas, with an allocation failure injected where the first byte says. The table is
// compared with a plain reading of the same bytes: lines at LF (a CR before it dropped),
// three TAB-separated fields, numbers 1 to 9999 of at most 19 digits, and the first
// number used twice reported at the line of its next use.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/message_log.h"
#include "common/run_record.h"
#include "common/settings.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "convert/output_areas.h"
#include "convert/replacement_definitions.h"
#include "fuzz/fuzz_support.h"

namespace {

struct PlainEntry {
  long line;
  int32_t number;
  std::string before;
  std::string after;
};

struct PlainReading {
  const char* detail = nullptr;  // the structure error, nullptr when the file is good
  long row = 0;
  std::vector<PlainEntry> entries;
};

// The number field's value: -1 when it is not digits only or too long to convert, 0 or
// more otherwise (values past 9999 all read as 10000).
long plainNumber(const std::string& field) {
  if (field.size() > 19) return -1;
  long value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
    if (value > 9999) value = 10000;
  }
  return value;
}

PlainReading readPlainly(const uint8_t* data, std::size_t size) {
  PlainReading reading;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  for (long line = 1; at < text.size(); ++line) {
    const std::size_t lf = text.find('\n', at);
    std::string content = text.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
    at = lf == std::string::npos ? text.size() : lf + 1;
    if (lf != std::string::npos && !content.empty() && content.back() == '\r') content.pop_back();
    std::vector<std::string> fields(1);
    for (char c : content) {
      if (c == '\t') {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    if (fields.size() < 3 || fields.size() > 3) {
      reading.detail = fields.size() < 3 ? mq::kDetailTooFewItems : mq::kDetailTooManyItems;
      reading.row = line;
      return reading;
    }
    const long number = plainNumber(fields[0]);
    if (number < 1 || number > 9999) {
      reading.detail = number < 0 ? mq::kDetailReplaceNo : mq::kDetailReplaceNoRange;
      reading.row = line;
      return reading;
    }
    reading.entries.push_back(PlainEntry{line, static_cast<int32_t>(number), fields[1], fields[2]});
  }
  // Pairwise, as a person would check it: the first entry whose number comes again.
  for (std::size_t i = 0; i < reading.entries.size(); ++i) {
    for (std::size_t j = i + 1; j < reading.entries.size(); ++j) {
      if (reading.entries[j].number == reading.entries[i].number) {
        reading.detail = mq::kDetailReplaceNoTwice;
        reading.row = reading.entries[j].line;
        return reading;
      }
    }
  }
  return reading;
}

std::string storedText(int32_t offset, int32_t length) {
  const mq::OutputAreas& a = mq::fuzzRun().output;
  if (offset < 0 || length < 0 || offset + length >= a.replaceTextsUsed) __builtin_trap();
  if (a.replaceTexts[offset + length] != 0) __builtin_trap();  // every text ends in a NUL
  return std::string(mq::replacementText(mq::fuzzRun(), offset), static_cast<std::size_t>(length));
}

void checkTable(const PlainReading& plain) {
  const mq::OutputAreas& a = mq::fuzzRun().output;
  if (a.replaceCount != static_cast<int32_t>(plain.entries.size())) __builtin_trap();
  std::vector<int32_t> entryOf(mq::kLargestReplaceNo + 1, -1);
  long textBytes = 0;
  for (int32_t i = 0; i < a.replaceCount; ++i) {
    const mq::ReplacementEntry& entry = *mq::replacementAt(mq::fuzzRun(), i);
    const PlainEntry& expected = plain.entries[static_cast<std::size_t>(i)];
    if (entry.line != expected.line || entry.number != expected.number) __builtin_trap();
    if (storedText(entry.beforeOffset, entry.beforeLength) != expected.before) __builtin_trap();
    if (storedText(entry.afterOffset, entry.afterLength) != expected.after) __builtin_trap();
    textBytes += entry.beforeLength + 1 + entry.afterLength + 1;
    entryOf[static_cast<std::size_t>(entry.number)] = i;
  }
  if (textBytes != a.replaceTextsUsed) __builtin_trap();
  // The table's room rules: one more entry and one more text end always fit.
  if ((static_cast<long>(a.replaceCount) + 1) * static_cast<long>(sizeof(mq::ReplacementEntry)) >= a.replaceEntriesSize)
    __builtin_trap();
  if (a.replaceTextsUsed >= a.replaceTextsSize) __builtin_trap();
  for (int32_t number = 0; number <= mq::kLargestReplaceNo + 1; ++number) {
    const mq::ReplacementEntry* found = mq::findReplacement(mq::fuzzRun(), number);
    const int32_t expected = number >= 1 && number <= mq::kLargestReplaceNo ? entryOf[static_cast<std::size_t>(number)] : -1;
    if (expected < 0 ? found != nullptr : found != mq::replacementAt(mq::fuzzRun(), expected)) __builtin_trap();
  }
}

bool messageIs(int32_t code, const char* detail, long row) {
  char expected[mq::kMessageTextSize];
  std::snprintf(expected, sizeof expected, mq::kFmtReplaceDefStructure, detail, row, 1L);
  return mq::fuzzRun().messageCode == code && std::strcmp(mq::fuzzRun().messageText, expected) == 0;
}

bool allReleased() {
  const mq::OutputAreas& a = mq::fuzzRun().output;
  return a.outputBuffer == nullptr && a.replaceEntries == nullptr && a.replaceTexts == nullptr && a.work == nullptr &&
         a.definition == nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace mq;
  if (size == 0) return 0;
  mq::fuzzRun().settings = Settings{};
  mq::fuzzRun().settings.outputKind = OutputKind::Normal;
  mq::fuzzRun().settings.useReplacement = true;
  std::snprintf(mq::fuzzRun().settings.replacementDefinitionFile, kFileNameSize, "%s", fuzz::writeInput(data + 1, size - 1));
  const PlainReading plain = readPlainly(data + 1, size - 1);
  const long mappedBefore = mappedAreaCount();
  setMessage(mq::fuzzRun(), kCodeNoError, "%s", "");

  fuzz::chooseAllocationFailure(data[0]);
  const long failAt = data[0] < 16 ? 0 : data[0] % 16 + 1;
  int result = takeOutputAreas(mq::fuzzRun());
  if (result == 0) {
    result = loadReplacementTable(mq::fuzzRun());
    const bool refused = failAt > 0 && allocationCount() >= failAt;
    if (refused) {
      // A refused allocation ends the reading with its message, or the file failed first.
      if (result == 0) __builtin_trap();
      const bool fileFailedFirst = plain.detail != nullptr && messageIs(kCodeReplaceDefStructure, plain.detail, plain.row);
      if (mq::fuzzRun().messageCode != kCodeGrowFailed && !fileFailedFirst) __builtin_trap();
    } else if (plain.detail != nullptr) {
      if (result == 0 || !messageIs(kCodeReplaceDefStructure, plain.detail, plain.row)) __builtin_trap();
    } else {
      if (result != 0) __builtin_trap();
      checkTable(plain);
    }
    if (result != 0) {
      // A table that failed to load answers no number.
      for (int32_t number = 1; number <= kLargestReplaceNo; ++number) {
        if (findReplacement(mq::fuzzRun(), number) != nullptr) __builtin_trap();
      }
    }
    releaseOutputAreas(mq::fuzzRun());
  } else if (mq::fuzzRun().messageCode != kCodeTakeFailed) {
    __builtin_trap();
  }
  if (!allReleased() || mappedAreaCount() != mappedBefore) __builtin_trap();
  resetAllocationSeam();
  return 0;
}
