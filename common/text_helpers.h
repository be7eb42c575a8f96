// Small operations on byte ranges and whole files. They count bytes: a two-byte
// character is two bytes to them. A blank is TAB, LF, CR or SPACE, nothing else.
#pragma once

#include <cstdint>

namespace mq {

enum NumberType : int {
  kDigitsOnly = 1,
  kSignedDigits = 2,
  kDigitsAndPoint = 3,
  kSignedDigitsAndPoint = 4,
};

constexpr bool isBlank(unsigned char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' '; }

// Copies the range without its leading and trailing blanks; returns the bytes copied.
// No NUL is written: destinations are zero-filled by their owners.
int copyTrimmed(char* destination, const char* source, int length);

// Copies every byte of the range that is not a blank; returns the bytes copied.
int copyWithoutBlanks(char* destination, const char* source, int length);

// a-z become A-Z, every other byte stays; destination and source may be the same.
void toUpperAscii(char* destination, const char* source, int length);

// Row and column (from 1) of the position just after the range: a TAB counts four
// columns, CR, LF and the pairs CR LF and LF CR each end one line.
void countRowsCols(long* rows, long* columns, const char* text, long length);

// 0 when the range is a number of the type, 2 when it is not.
int checkNumber(const char* text, int length, int type);

// The file's length in bytes; -1 when it cannot be opened or measured.
int getFileLength(long* length, const char* fileName);

// The whole file in a new block of its length plus 16 zero bytes; -1 without a message
// when it cannot be read, or when the block would be larger than an area may be. A
// block may be left taken on failure; its owner releases it.
int readWholeFile(unsigned char** block, int32_t* length, const char* fileName);

}  // namespace mq
