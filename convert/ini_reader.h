// Reading values from an INI file: [SECTION] headers, KEY=VALUE lines, ';' comments.
// Section and key names compare with ASCII case ignored; the first matching section and
// the first matching key in it win. Values are bytes, trimmed of SPACE and TAB, and lose
// one pair of enclosing quotes. Where the system has INI functions of its own
// (ini_reader_windows.cpp), they do the reading and their finer rules hold instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mq {

struct IniFile {
  unsigned char* text = nullptr;  // the whole file, NUL-padded; none for a missing file
  int32_t length = 0;
  const char* path = nullptr;  // the file the system's functions are asked about
};

// -1 when the file is missing or cannot be read whole.
int openIniFile(IniFile* ini, const char* path);
void closeIniFile(IniFile* ini);

// The value of the key, or false when the section or key is absent (through the system's
// functions also when the value is empty: they do not tell the two apart).
bool findIniValue(const IniFile& ini, std::string_view section, std::string_view key, std::string_view* value);

// The value cut to destinationSize - 1 bytes and NUL-terminated; returns the bytes
// copied, 0 when the key is absent or its value empty.
int readIniString(const IniFile& ini, std::string_view section, std::string_view key, char* destination,
                  int destinationSize);

// Optional blanks, an optional sign and decimal digits up to the first other byte,
// saturating at the 32-bit limits; no digits give 0, an absent key the default.
int32_t readIniInt(const IniFile& ini, std::string_view section, std::string_view key, int32_t byDefault);

// Every section of the file with the keys written in it, in file order, as the names stand.
struct IniSection {
  std::string name;
  std::vector<std::string> keys;
};
std::vector<IniSection> listIniNames(const IniFile& ini);

}  // namespace mq
