// The system below the programs, and the one unit that knows which system that is: how the
// tools ask and report, which code the terminal
// reads, and the file, clock and memory services beneath the run frame. The build links
// platform_linux.cpp or platform_windows.cpp; nothing else asks which one it got.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

#include "common/console.h"

namespace mq {

// The tools' dialogs as the system offers them: the question with OK and Cancel (true only
// for OK), and the final report with OK alone. `failed` tells a failure's report from success.
bool askUserOkCancel(const char* caption, const char* question);
void showUserReport(const char* caption, const char* text, bool failed);

// Bytes pass the stream unchanged (Windows' standard streams are text streams by default).
void useBinaryMode(std::FILE* stream);

// The code the terminal reads (never Detect).
ConsoleCode terminalCode();
// Shift-JIS text written as UTF-8; a byte without a UTF-8 form is written as it is.
void writeShiftJisAsUtf8(std::FILE* stream, const char* text, std::size_t length);

// One byte from a stream that only one reader uses, without taking the stream's lock: a
// listing is read byte by byte, and a lock per byte would cost more than the reading.
inline int getByteUnlocked(std::FILE* file) {
#ifdef _WIN32
  return _getc_nolock(file);
#else
  return getc_unlocked(file);
#endif
}

// The length of a file that can be opened for reading; false for a folder or a file that
// cannot be opened or measured.
bool measureFile(const char* fileName, long* length);

// True when no file has that name, or a plain file does (no folder, device, pipe or link):
// only such a name may be given to a file written beside it.
bool plainFileOrNone(const char* fileName);
// A new file for writing, made beside `target` (same folder) under a name no other file has,
// which *name receives, with the permissions of `target` where it exists; nullptr when none
// can be made there.
std::FILE* createFileBeside(const char* target, std::string* name);
// Gives the file `from` the name `to`, replacing a file of that name; false when it cannot.
bool replaceFile(const char* from, const char* to);

// The local calendar time of a clock reading; false when it has none.
bool toLocalCalendar(std::time_t clock, std::tm* local);

// Large blocks straight from the system's pages: zero-filled, grown in place or moved
// without a copy. Where the system offers no such mapping, largePagesMapped() is false
// and the others are never called.
bool largePagesMapped();
std::size_t systemPageSize();
void* mapZeroedPages(std::size_t bytes);
void unmapPages(void* block, std::size_t bytes);
// The block grown to newBytes, perhaps moved; nullptr (the old block kept) when it cannot be.
void* remapPages(void* block, std::size_t oldBytes, std::size_t newBytes);
// Asks for the pages of a range at once instead of one fault each.
void prefaultPages(void* from, std::size_t bytes);

// The system's converter between two codes named as it knows them ("UTF-8", "CP932", a
// document's label), used as a stream; nullptr when it has none for the pair (a system
// without such converters has none at all).
void* openCodeConverter(const char* to, const char* from);
void closeCodeConverter(void* converter);
// Back to the converter's first state, after a sequence it refused.
void resetCodeConverter(void* converter);
// Converts from *in into *out, moving both on. Where it stops: everything taken, no room
// left, a sequence that is not of the code, or a sequence the end of the input cut.
enum class ConvertStop { Done, NoRoom, BadSequence, CutSequence };
ConvertStop convertCodes(void* converter, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);

}  // namespace mq
