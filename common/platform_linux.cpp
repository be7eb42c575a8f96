// The Linux side of the platform layer: arguments arrive split, the tools ask and report on
// the terminal, the terminal's code comes from the locale, and large blocks are mappings.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/console.h"
#include "common/platform.h"

namespace mq {

bool askUserOkCancel(const char* caption, const char* question) { return askOnTerminal(caption, question); }

void useBinaryMode(std::FILE*) {}

void showUserReport(const char* caption, const char* text, bool failed) { reportOnTerminal(caption, text, failed); }

ConsoleCode terminalCode() {
  if (std::setlocale(LC_ALL, "") != nullptr) {
    const char* codeset = nl_langinfo(CODESET);
    return consoleCodeOfName(codeset != nullptr ? codeset : "");
  }
  // A locale that is not installed cannot be set, yet its name still tells what the
  // terminal shows; the variable that would have decided the code set decides here.
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      const char* dot = std::strchr(value, '.');
      return consoleCodeOfName(dot != nullptr ? dot + 1 : value);
    }
  }
  return ConsoleCode::Utf8;
}

void writeShiftJisAsUtf8(std::FILE* stream, const char* text, std::size_t length) {
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

bool measureFile(const char* fileName, long* length) {
  const int descriptor = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status {};
  const bool measured = ::fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode);
  ::close(descriptor);
  if (!measured) return false;
  *length = static_cast<long>(status.st_size);
  return true;
}

bool plainFileOrNone(const char* fileName) {
  // A link is written through, to where it points, as it always was: lstat, not stat.
  struct stat status {};
  if (::lstat(fileName, &status) != 0) return errno == ENOENT;
  return S_ISREG(status.st_mode);
}

std::FILE* createFileBeside(const char* target, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = target;
    *name += ".part";
    *name += std::to_string(::getpid());
    if (attempt > 0) {
      *name += '-';
      *name += std::to_string(attempt);
    }
    const int descriptor = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno == EEXIST) continue;
    if (descriptor < 0) return nullptr;
    // A file it will replace keeps its permissions, as a file written in place does.
    struct stat old {};
    if (::stat(target, &old) == 0) (void)::fchmod(descriptor, old.st_mode & 07777);
    std::FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
      ::close(descriptor);
      ::unlink(name->c_str());
    }
    return file;
  }
  return nullptr;
}

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

bool toLocalCalendar(std::time_t clock, std::tm* local) { return localtime_r(&clock, local) != nullptr; }

bool largePagesMapped() { return true; }

std::size_t systemPageSize() {
  static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

void* mapZeroedPages(std::size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void unmapPages(void* block, std::size_t bytes) { munmap(block, bytes); }

void* remapPages(void* block, std::size_t oldBytes, std::size_t newBytes) {
  void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
  return moved == MAP_FAILED ? nullptr : moved;
}

void prefaultPages(void* from, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  madvise(from, bytes, MADV_POPULATE_WRITE);
#else
  (void)from;
  (void)bytes;
#endif
}

void* openCodeConverter(const char* to, const char* from) {
  const iconv_t converter = iconv_open(to, from);
  return converter == reinterpret_cast<iconv_t>(-1) ? nullptr : converter;
}

void closeCodeConverter(void* converter) {
  if (converter != nullptr) iconv_close(static_cast<iconv_t>(converter));
}

void resetCodeConverter(void* converter) { iconv(static_cast<iconv_t>(converter), nullptr, nullptr, nullptr, nullptr); }

ConvertStop convertCodes(void* converter, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
  if (iconv(static_cast<iconv_t>(converter), in, inLeft, out, outLeft) != static_cast<std::size_t>(-1)) {
    return ConvertStop::Done;
  }
  if (errno == E2BIG) return ConvertStop::NoRoom;
  if (errno == EINVAL) return ConvertStop::CutSequence;
  return ConvertStop::BadSequence;
}

}  // namespace mq
