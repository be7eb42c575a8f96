#include "common/message_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/platform.h"
#include "common/run_record.h"

namespace mq {

namespace {

bool readRealClock(long long* seconds) {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return false;
  *seconds = static_cast<long long>(now);
  return true;
}

ClockReader gClockReader = readRealClock;

constexpr int kStampLength[] = {0, 8, 10, 6, 8};

}  // namespace

void setClockReader(ClockReader reader) { gClockReader = reader != nullptr ? reader : readRealClock; }

void setMessage(MessageCode code, const char* format, ...) {
  gRunRecord.messageCode = code;
  char text[kMessageTextSize];
  va_list values;
  va_start(values, format);
  std::vsnprintf(text, sizeof text, format, values);
  va_end(values);
  // Formatting goes through a copy so that a value taken from the message text itself
  // (a failure passed on in other words) is read before it is overwritten.
  std::memcpy(gRunRecord.messageText, text, sizeof text);
}

void setMessageText(const char* text) {
  std::snprintf(gRunRecord.messageText, sizeof gRunRecord.messageText, "%s", text);
}

int formatDateTime(DateTimeKind kind, char* destination) {
  if (kind < kDateCompact || kind > kTimeColoned) return -1;
  long long seconds = 0;
  if (!gClockReader(&seconds)) return -2;
  const std::time_t clock = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!toLocalCalendar(clock, &local)) return -2;
  char scratch[32] = {};
  switch (kind) {
    case kDateCompact:
      std::snprintf(scratch, sizeof scratch, "%04d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
      break;
    case kDateSlashed:
      std::snprintf(scratch, sizeof scratch, "%04d/%02d/%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
      break;
    case kTimeCompact:
      std::snprintf(scratch, sizeof scratch, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
      break;
    default:
      std::snprintf(scratch, sizeof scratch, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
      break;
  }
  std::memcpy(destination, scratch, static_cast<std::size_t>(kStampLength[kind]));
  return 0;
}

int writeLogLine(const char* fileName) {
  std::FILE* log = std::fopen(fileName, "ab");
  if (log == nullptr) return -1;
  char date[11] = {};
  char time[9] = {};
  if (formatDateTime(kDateSlashed, date) != 0 || formatDateTime(kTimeColoned, time) != 0) {
    std::fclose(log);
    return 0;
  }
  char line[320];
  const int length = std::snprintf(line, sizeof line, "%10.10s %8.8s %4.4d %.256s\r\n", date, time,
                                   static_cast<int>(gRunRecord.messageCode), gRunRecord.messageText);
  std::fwrite(line, 1, static_cast<std::size_t>(length), log);
  std::fclose(log);
  return 0;
}

}  // namespace mq
