// Whole files into work blocks, and the length of a file: how documents, templates and
// settings are read, and how the tools tell whether an output file already holds something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace mq {

// The file's length in bytes; -1 when it cannot be opened or measured (a folder included).
int getFileLength(long* length, const char* fileName);

// The whole file in a new block of its length plus 16 zero bytes; -1 without a message
// when it cannot be read, or when the block would be larger than an area may be. A
// block may be left taken on failure; its owner releases it.
int readWholeFile(unsigned char** block, int32_t* length, const char* fileName);

// The same in two steps, so that a file known to open can be read on another thread: opened
// and measured first (-1 when it cannot be, or is too long), then read and closed.
struct WholeFile {
  std::FILE* file = nullptr;
  long length = 0;
};
int openWholeFile(WholeFile* whole, const char* fileName);
int readOpenedFile(WholeFile* whole, unsigned char** block, int32_t* length);
void closeWholeFile(WholeFile* whole);

// Everything on standard input, read in binary mode; false when it cannot be read or holds
// more than the largest area.
bool readStandardInput(std::string* bytes);

// The same for a text already in memory: a block of its bytes and 16 zero bytes.
int copyWholeText(unsigned char** block, int32_t* length, const unsigned char* bytes, std::size_t size);

}  // namespace mq
