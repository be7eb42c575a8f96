#include "common/message_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/platform.h"
#include "common/run_record.h"
#include "common/unicode_conversion.h"

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

// Appends the Shift-JIS bytes as UTF-8 (as they are where the system cannot convert). A
// decoder of its own each time: messages are few, and runs on other threads compose theirs.
void appendAsUtf8(std::string& out, const char* text, std::size_t length) {
  Utf8Decoder decoder{};
  if (length == 0 || openDecoder(&decoder, SourceCode::Cp932, "", false) != 0) {
    out.append(text, length);
    return;
  }
  std::string converted(3 * length + 16, '\0');
  int32_t used = 0;
  const int32_t written =
      decodePiece(&decoder, reinterpret_cast<const unsigned char*>(text), static_cast<int32_t>(length), true,
                  reinterpret_cast<unsigned char*>(converted.data()), static_cast<int32_t>(converted.size()), &used);
  closeDecoder(&decoder);
  out.append(converted.data(), static_cast<std::size_t>(written > 0 ? written : 0));
}


// printf over a Shift-JIS format into UTF-8: literal text converted, %s values taken as they
// are when valid UTF-8 and read as Shift-JIS otherwise, their precision counted in whole
// characters' bytes. The formats are the system's own: %s, %.Ns, %d, %ld, %lld.
std::string composeUtf8(const char* format, va_list values) {
  std::string out;
  for (const char* at = format; *at != '\0';) {
    if (*at != '%') {
      const char* end = std::strchr(at, '%');
      const std::size_t length = end == nullptr ? std::strlen(at) : static_cast<std::size_t>(end - at);
      appendAsUtf8(out, at, length);
      at += length;
      continue;
    }
    const char* spec = at++;
    while (std::strchr("-+ #0123456789.", *at) != nullptr && *at != '\0') ++at;
    int longs = 0;
    while (*at == 'l' || *at == 'h') longs += *at++ == 'l' ? 1 : 0;
    const char conversion = *at != '\0' ? *at++ : '%';
    const std::string flags(spec, static_cast<std::size_t>(at - spec));
    char number[64] = {};
    if (conversion == 's') {
      const char* value = va_arg(values, const char*);
      std::string text;
      const std::size_t length = std::strlen(value);
      if (isValidUtf8(reinterpret_cast<const unsigned char*>(value), static_cast<int64_t>(length))) {
        text.assign(value, length);
      } else {
        appendAsUtf8(text, value, length);
      }
      const char* dot = std::strchr(flags.c_str(), '.');
      const std::size_t limit = dot != nullptr ? std::strtoul(dot + 1, nullptr, 10) : text.size();
      out.append(text, 0, utf8Cut(text.data(), text.size(), limit));
    } else if (conversion == 'd' || conversion == 'i' || conversion == 'u' || conversion == 'x') {
      if (longs >= 2) {
        std::snprintf(number, sizeof number, flags.c_str(), va_arg(values, long long));
      } else if (longs == 1) {
        std::snprintf(number, sizeof number, flags.c_str(), va_arg(values, long));
      } else {
        std::snprintf(number, sizeof number, flags.c_str(), va_arg(values, int));
      }
      out += number;
    } else {
      out += '%';
    }
  }
  return out;
}

// The message text in the log's code, cut to 256 bytes without splitting a character.
std::string inLogCode(const RunRecord& record) {
  const char* text = record.messageText;
  std::string line;
  const std::size_t length = std::strlen(text);
  if (record.composeCode == record.logCode) {
    line.assign(text, length);
  } else if (record.logCode == TextCode::Utf8) {
    appendAsUtf8(line, text, length);
  } else {
    Cp932Encoder encoder{};
    if (openEncoder(&encoder) != 0) return text;
    line.resize(length + 16);
    const int32_t written = encodeCp932(&encoder, reinterpret_cast<const unsigned char*>(text),
                                        static_cast<int32_t>(length), reinterpret_cast<unsigned char*>(line.data()));
    closeEncoder(&encoder);
    line.resize(static_cast<std::size_t>(written));
  }
  if (record.logCode == TextCode::Utf8) line.resize(utf8Cut(line.data(), line.size(), 256));
  return line;
}

}  // namespace

void setMessageCodes(RunRecord& record, TextCode message, TextCode log) {
  record.composeCode = message;
  record.logCode = log;
}

void setClockReader(ClockReader reader) { gClockReader = reader != nullptr ? reader : readRealClock; }

void setMessage(RunRecord& record, MessageCode code, const char* format, ...) {
  record.messageCode = code;
  record.messageRow = 0;
  record.messageColumn = 0;
  char text[kMessageTextSize];
  va_list values;
  va_start(values, format);
  if (record.composeCode == TextCode::Utf8) {
    const std::string composed = composeUtf8(format, values);
    const std::size_t kept = utf8Cut(composed.data(), composed.size(), sizeof text - 1);
    std::memcpy(text, composed.data(), kept);
    text[kept] = '\0';
  } else {
    std::vsnprintf(text, sizeof text, format, values);
  }
  va_end(values);
  // Formatting goes through a copy so that a value taken from the message text itself
  // (a failure passed on in other words) is read before it is overwritten.
  std::memcpy(record.messageText, text, sizeof text);
}

void setMessageText(RunRecord& record, const char* text) {
  std::snprintf(record.messageText, sizeof record.messageText, "%s", text);
}

void setStructureMessage(RunRecord& record, MessageCode code, const char* format, const char* detail, long row,
                         long column) {
  setMessage(record, code, format, detail, row, column);
  record.messageRow = row;
  record.messageColumn = column;
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

namespace {

int logUnwritten(RunRecord& record, const char* fileName) {
  if (record.unwrittenLog[0] == '\0') std::snprintf(record.unwrittenLog, sizeof record.unwrittenLog, "%s", fileName);
  return -1;
}

}  // namespace

int writeLogLine(RunRecord& record, const char* fileName) {
  std::FILE* log = std::fopen(fileName, "ab");
  if (log == nullptr) return logUnwritten(record, fileName);
  char date[11] = {};
  char time[9] = {};
  if (formatDateTime(kDateSlashed, date) != 0 || formatDateTime(kTimeColoned, time) != 0) {
    std::fclose(log);
    return 0;
  }
  char line[320];
  const bool asItStands = record.composeCode == TextCode::Sjis && record.logCode == TextCode::Sjis;
  const std::string text = asItStands ? std::string() : inLogCode(record);
  const int length = std::snprintf(line, sizeof line, "%10.10s %8.8s %4.4d %.256s\r\n", date, time,
                                   static_cast<int>(record.messageCode),
                                   asItStands ? record.messageText : text.c_str());
  const bool written = std::fwrite(line, 1, static_cast<std::size_t>(length), log) == static_cast<std::size_t>(length);
  // A full disk shows only when the line leaves the stream's buffer.
  const bool closed = std::fclose(log) == 0;
  return written && closed ? 0 : logUnwritten(record, fileName);
}

}  // namespace mq
