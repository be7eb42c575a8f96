#include "common/console.h"

#include <cstring>
#include <string>

#include "common/platform.h"
#include "common/text_helpers.h"
#include "common/known_code_conversion.h"
#include "common/unicode_conversion.h"

namespace mq {

namespace {

ConsoleStreams gConsole{nullptr, nullptr, nullptr, ConsoleCode::Detect};
UserDialogs gDialogs{askUserOkCancel, showUserReport};

std::FILE* inStream() { return gConsole.in != nullptr ? gConsole.in : stdin; }
std::FILE* outStream() { return gConsole.out != nullptr ? gConsole.out : stdout; }
std::FILE* errStream() { return gConsole.err != nullptr ? gConsole.err : stderr; }

// The terminal's code is asked once per process: it cannot change under a program.
ConsoleCode consoleCode() {
  if (gConsole.code != ConsoleCode::Detect) return gConsole.code;
  static const ConsoleCode code = terminalCode();
  return code;
}

// Shift-JIS text as EUC; a character EUC lacks as 〓.
std::string shiftJisAsEuc(const char* text, std::size_t length) {
  std::string euc(static_cast<std::size_t>(knownConversionCapacity(static_cast<int64_t>(length), CodeKind::Euc)) + 16, '\0');
  KnownConversionState state{};
  startKnownConversion(&state, CodeKind::Sjis, CodeKind::Euc);
  auto* out = reinterpret_cast<unsigned char*>(euc.data());
  int32_t written = convertKnownPiece(&state, out, reinterpret_cast<const unsigned char*>(text),
                                      static_cast<int32_t>(length));
  written += finishKnownConversion(&state, out + written);
  euc.resize(static_cast<std::size_t>(written));
  return euc;
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

ConsoleCode consoleCodeOfName(const char* name) {
  std::string folded;
  for (const char* at = name; *at != '\0' && *at != '@'; ++at) {
    if (*at == '-' || *at == '_') continue;
    folded += static_cast<char>(*at >= 'A' && *at <= 'Z' ? *at - 'A' + 'a' : *at);
  }
  for (const char* sjis : {"sjis", "shiftjis", "cp932", "windows31j", "mskanji", "pck"}) {
    if (folded == sjis) return ConsoleCode::ShiftJis;
  }
  for (const char* euc : {"eucjp", "eucjpms", "ujis", "cp51932"}) {
    if (folded == euc) return ConsoleCode::Euc;
  }
  return ConsoleCode::Utf8;
}

void writeConsoleText(std::FILE* stream, const char* text, std::size_t length) {
  switch (consoleCode()) {
    case ConsoleCode::Utf8:
      writeShiftJisAsUtf8(stream, text, length);
      break;
    case ConsoleCode::Euc: {
      const std::string euc = shiftJisAsEuc(text, length);
      std::fwrite(euc.data(), 1, euc.size(), stream);
      break;
    }
    default:
      std::fwrite(text, 1, length, stream);
      break;
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
  if (consoleCode() == ConsoleCode::Utf8 || openEncoder(&encoder) != 0) {
    std::fwrite(text, 1, length, stream);
  } else {
    std::string converted(length + 16, '\0');
    const int32_t written = encodeCp932(&encoder, reinterpret_cast<const unsigned char*>(text), static_cast<int32_t>(length),
                                        reinterpret_cast<unsigned char*>(converted.data()));
    closeEncoder(&encoder);
    converted.resize(static_cast<std::size_t>(written));
    if (consoleCode() == ConsoleCode::Euc) converted = shiftJisAsEuc(converted.data(), converted.size());
    std::fwrite(converted.data(), 1, converted.size(), stream);
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
