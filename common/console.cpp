#include "common/console.h"

#include <cstring>
#include <string>

#include "common/platform.h"
#include "common/text_helpers.h"
#include "common/unicode_conversion.h"

namespace mq {

namespace {

ConsoleStreams gConsole{nullptr, nullptr, nullptr, ConsoleCode::Detect};
UserDialogs gDialogs{askUserOkCancel, showUserReport};

std::FILE* inStream() { return gConsole.in != nullptr ? gConsole.in : stdin; }
std::FILE* outStream() { return gConsole.out != nullptr ? gConsole.out : stdout; }
std::FILE* errStream() { return gConsole.err != nullptr ? gConsole.err : stderr; }

// The terminal's code is asked once per process: it cannot change under a program.
bool consoleIsUtf8() {
  if (gConsole.code != ConsoleCode::Detect) return gConsole.code == ConsoleCode::Utf8;
  static const bool utf8 = terminalReadsUtf8();
  return utf8;
}

void writeConsoleString(std::FILE* stream, const char* text) { writeConsoleText(stream, text, std::strlen(text)); }

bool isAcceptance(const char* word, int length) {
  static constexpr const char* kAccepted[] = {"OK", "O", "Y", "YES"};
  for (const char* accepted : kAccepted) {
    if (static_cast<int>(std::strlen(accepted)) == length && std::memcmp(word, accepted, static_cast<std::size_t>(length)) == 0) return true;
  }
  return false;
}

// Reads the rest of one line and tells whether it is an acceptance. The whole line is
// consumed, however long, so that nothing of it is left for a later read.
bool readAcceptance(std::FILE* in) {
  char word[4] = {};
  int length = 0;
  bool started = false;
  bool ended = false;
  bool acceptable = true;
  int byte;
  while ((byte = std::getc(in)) != EOF) {
    if (byte == '\n') break;
    if (isBlank(static_cast<unsigned char>(byte))) {
      ended = started;
      continue;
    }
    if (ended || length == 3) {
      acceptable = false;  // a blank inside the answer, or a word longer than any acceptance
    } else {
      word[length++] = static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte);
    }
    started = true;
  }
  if (std::ferror(in)) return false;
  return acceptable && isAcceptance(word, length);
}

}  // namespace

void setConsole(const ConsoleStreams& streams) {
  gConsole = streams;
  // A console pointed at files of a test's own holds the whole dialog.
  gDialogs = UserDialogs{askOnTerminal, reportOnTerminal};
}

void resetConsole() {
  setConsole(ConsoleStreams{nullptr, nullptr, nullptr, ConsoleCode::Detect});
  gDialogs = UserDialogs{askUserOkCancel, showUserReport};
}

bool isPathArgument(const char* argument) {
  if (argument[0] != '/' || std::strlen(argument) < 4) return false;
  return std::strchr(argument + 3, '/') != nullptr;
}

void writeConsoleText(std::FILE* stream, const char* text, std::size_t length) {
  if (consoleIsUtf8()) {
    writeShiftJisAsUtf8(stream, text, length);
  } else {
    std::fwrite(text, 1, length, stream);
  }
}

void writeToConsole(bool toError, const char* text) {
  std::FILE* stream = toError ? errStream() : outStream();
  writeConsoleString(stream, text);
  std::fflush(stream);
}

void writeUtf8ToConsole(bool toError, const char* text) {
  std::FILE* stream = toError ? errStream() : outStream();
  const std::size_t length = std::strlen(text);
  Cp932Encoder encoder{};
  if (consoleIsUtf8() || openEncoder(&encoder) != 0) {
    std::fwrite(text, 1, length, stream);
  } else {
    std::string converted(length + 16, '\0');
    const int32_t written = encodeCp932(&encoder, reinterpret_cast<const unsigned char*>(text), static_cast<int32_t>(length),
                                        reinterpret_cast<unsigned char*>(converted.data()));
    closeEncoder(&encoder);
    std::fwrite(converted.data(), 1, static_cast<std::size_t>(written), stream);
  }
  std::fflush(stream);
}

bool askOkCancel(const char* caption, const char* question) { return gDialogs.askOkCancel(caption, question); }

void showFinalReport(const char* caption, const char* text, bool failed) {
  gDialogs.showFinalReport(caption, text, failed);
}

bool askOnTerminal(const char* caption, const char* question) {
  std::FILE* err = errStream();
  writeConsoleString(err, caption);
  writeConsoleString(err, ": ");
  writeConsoleString(err, question);
  writeConsoleString(err, " [OK/Cancel] ");
  std::fflush(err);
  return readAcceptance(inStream());
}

void reportOnTerminal(const char* caption, const char* text, bool failed) {
  std::FILE* stream = failed ? errStream() : outStream();
  writeConsoleString(stream, caption);
  writeConsoleString(stream, ": ");
  writeConsoleString(stream, text);
  writeConsoleString(stream, "\n");
  std::fflush(stream);
}

}  // namespace mq
