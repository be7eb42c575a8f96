#include "common/console.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "common/text_helpers.h"

namespace mq {

namespace {

ConsoleStreams gConsole{nullptr, nullptr, nullptr, ConsoleCode::Detect};
bool gCodeDecided = false;
bool gUtf8 = false;

std::FILE* inStream() { return gConsole.in != nullptr ? gConsole.in : stdin; }
std::FILE* outStream() { return gConsole.out != nullptr ? gConsole.out : stdout; }
std::FILE* errStream() { return gConsole.err != nullptr ? gConsole.err : stderr; }

// The terminal's code is asked once per process: the locale cannot change under a tool.
bool consoleIsUtf8() {
  if (gConsole.code != ConsoleCode::Detect) return gConsole.code == ConsoleCode::Utf8;
  if (!gCodeDecided) {
    gCodeDecided = true;
    if (std::setlocale(LC_ALL, "") != nullptr) {
      const char* codeset = nl_langinfo(CODESET);
      gUtf8 = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    }
  }
  return gUtf8;
}

void writeUtf8(std::FILE* stream, const char* text, std::size_t length) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    std::fwrite(text, 1, length, stream);
    return;
  }
  char* in = const_cast<char*>(text);
  std::size_t inLeft = length;
  char buffer[256];
  while (inLeft > 0) {
    char* to = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(converter, &in, &inLeft, &to, &outLeft);
    std::fwrite(buffer, 1, sizeof buffer - outLeft, stream);
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A byte without a UTF-8 form (or a lead byte cut off at the end) still reaches the
      // user as it is, so nothing of the message is lost.
      std::fputc(static_cast<unsigned char>(*in), stream);
      ++in;
      --inLeft;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(converter);
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
  gCodeDecided = false;
}

void resetConsole() { setConsole(ConsoleStreams{nullptr, nullptr, nullptr, ConsoleCode::Detect}); }

bool isPathArgument(const char* argument) {
  if (argument[0] != '/' || std::strlen(argument) < 4) return false;
  return std::strchr(argument + 3, '/') != nullptr;
}

void writeConsoleText(std::FILE* stream, const char* text, std::size_t length) {
  if (consoleIsUtf8()) {
    writeUtf8(stream, text, length);
  } else {
    std::fwrite(text, 1, length, stream);
  }
}

bool askOkCancel(const char* caption, const char* question) {
  std::FILE* err = errStream();
  writeConsoleString(err, caption);
  writeConsoleString(err, ": ");
  writeConsoleString(err, question);
  writeConsoleString(err, " [OK/Cancel] ");
  std::fflush(err);
  return readAcceptance(inStream());
}

void showFinalReport(const char* caption, const char* text, bool failed) {
  std::FILE* stream = failed ? errStream() : outStream();
  writeConsoleString(stream, caption);
  writeConsoleString(stream, ": ");
  writeConsoleString(stream, text);
  writeConsoleString(stream, "\n");
  std::fflush(stream);
}

}  // namespace mq
