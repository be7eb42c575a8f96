// The Windows side of the platform layer: the command line comes whole from the system, the
// tools ask and report in message boxes, the terminal's code is the console's code page, and
// every block comes from the heap.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "common/platform.h"
#include "common/work_areas.h"

namespace mq {

namespace {

constexpr UINT kShiftJisCodePage = 932;

bool isLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Every box's text also goes to the debugger's output, so that what a tool showed can be
// read where no one sees the screen (a remote session, a test run).
void tellDebugger(const char* caption, const char* text, const char* buttons) {
  const std::size_t length = std::strlen(caption) + std::strlen(text) + std::strlen(buttons) + 4;
  unsigned char* line = nullptr;
  if (allocZeroed(&line, static_cast<long>(length + 1)) != 0) return;
  char* at = reinterpret_cast<char*>(line);
  for (const char* part : {caption, ": ", text, " ", buttons}) {
    const std::size_t n = std::strlen(part);
    std::memcpy(at, part, n);
    at += n;
  }
  OutputDebugStringA(reinterpret_cast<const char*>(line));
  releaseArea(&line);
}

}  // namespace

bool askUserOkCancel(const char* caption, const char* question) {
  tellDebugger(caption, question, "[OK/Cancel]");
  return MessageBoxA(nullptr, question, caption, MB_OKCANCEL) == IDOK;
}

void useBinaryMode(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

void showUserReport(const char* caption, const char* text, bool) {
  tellDebugger(caption, text, "[OK]");
  MessageBoxA(nullptr, text, caption, MB_OK);
}

// A console in the EUC code page reads EUC; any other but UTF-8 is taken for the Japanese
// code page, the only one of Windows that shows the texts.
ConsoleCode terminalCode() {
  const UINT page = GetConsoleOutputCP();
  if (page == CP_UTF8) return ConsoleCode::Utf8;
  return page == 20932 || page == 51932 ? ConsoleCode::Euc : ConsoleCode::ShiftJis;
}

void writeShiftJisAsUtf8(std::FILE* stream, const char* text, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t at = 0;
  while (at < length) {
    // One character at a time, so that a byte without a form is written as it is and the
    // rest of the text is still converted.
    const int width = isLeadByte(bytes[at]) && at + 1 < length ? 2 : 1;
    wchar_t wide[2];
    char utf8[8];
    const int units = MultiByteToWideChar(kShiftJisCodePage, MB_ERR_INVALID_CHARS, text + at, width, wide, 2);
    const int produced = units > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr) : 0;
    if (produced > 0) {
      std::fwrite(utf8, 1, static_cast<std::size_t>(produced), stream);
      at += static_cast<std::size_t>(width);
    } else {
      std::fputc(bytes[at], stream);
      ++at;
    }
  }
}

bool measureFile(const char* fileName, long* length) {
  // A folder cannot be opened this way, so it is never taken for a file.
  HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  const bool measured = GetFileSizeEx(file, &size) != 0 && size.QuadPart <= LONG_MAX;
  CloseHandle(file);
  if (!measured) return false;
  *length = static_cast<long>(size.QuadPart);
  return true;
}

bool plainFileOrNone(const char* fileName) {
  const DWORD attributes = GetFileAttributesA(fileName);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  // A link is written through, to where it points, as it always was.
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) return false;
  // Device names (NUL, CON, ...) answer with attributes too; only a file on disk is plain.
  HANDLE file = CreateFileA(fileName, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return onDisk;
}

std::FILE* createFileBeside(const char* target, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = target;
    *name += ".part";
    *name += std::to_string(GetCurrentProcessId());
    if (attempt > 0) {
      *name += '-';
      *name += std::to_string(attempt);
    }
    const int descriptor = _open(name->c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0 && errno == EEXIST) continue;
    if (descriptor < 0) return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
      _close(descriptor);
      DeleteFileA(name->c_str());
    }
    return file;
  }
  return nullptr;
}

bool replaceFile(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool toLocalCalendar(std::time_t clock, std::tm* local) { return localtime_s(local, &clock) == 0; }

bool largePagesMapped() { return false; }
std::size_t systemPageSize() { return 4096; }
void* mapZeroedPages(std::size_t) { return nullptr; }
void unmapPages(void*, std::size_t) {}
void* remapPages(void*, std::size_t, std::size_t) { return nullptr; }
void prefaultPages(void*, std::size_t) {}

// No streaming converter between named codes here: documents in a declared or labelled
// code other than those the byte-by-byte conversion reads are refused.
void* openCodeConverter(const char*, const char*) { return nullptr; }
void closeCodeConverter(void*) {}
void resetCodeConverter(void*) {}
ConvertStop convertCodes(void*, char**, std::size_t*, char**, std::size_t*) { return ConvertStop::BadSequence; }

}  // namespace mq
