// The INI reading of the Windows build: the system's own profile functions, so that a
// settings file reads exactly as every other Windows program reads it. A bare file name is
// looked up in the Windows folder, a name with a folder part relative to the current one.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/work_areas.h"
#include "convert/ini_reader.h"

namespace mq {

namespace {

// Holds a value read only to learn its length; longer values are cut to it, which is still
// longer than any field they are meant for.
constexpr DWORD kScratchSize = 4096;
constexpr int kNameSize = 128;

// Section and key names as the NUL-terminated texts the functions take.
struct Names {
  char section[kNameSize] = {};
  char key[kNameSize] = {};
  Names(std::string_view s, std::string_view k) {
    std::memcpy(section, s.data(), s.size() < kNameSize ? s.size() : kNameSize - 1);
    std::memcpy(key, k.data(), k.size() < kNameSize ? k.size() : kNameSize - 1);
  }
};

// Whether the file the profile functions would read exists and can be read: a bare name is
// the Windows folder's.
bool readable(const char* path) {
  char where[MAX_PATH + 1] = {};
  if (std::strpbrk(path, "\\/:") == nullptr) {
    const UINT length = GetWindowsDirectoryA(where, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(path) > MAX_PATH) return false;
    where[length] = '\\';
    std::memcpy(where + length + 1, path, std::strlen(path));
  } else if (std::strlen(path) <= MAX_PATH) {
    std::memcpy(where, path, std::strlen(path));
  } else {
    return false;
  }
  std::FILE* file = std::fopen(where, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

int openIniFile(IniFile* ini, const char* path) {
  *ini = IniFile{};
  if (!readable(path)) return -1;
  ini->path = path;
  if (allocZeroed(&ini->text, kScratchSize) != 0) return -1;
  ini->length = static_cast<int32_t>(kScratchSize);
  return 0;
}

void closeIniFile(IniFile* ini) {
  releaseArea(&ini->text);
  ini->length = 0;
  ini->path = nullptr;
}

bool findIniValue(const IniFile& ini, std::string_view section, std::string_view key, std::string_view* value) {
  if (ini.text == nullptr) return false;
  const Names names(section, key);
  char* scratch = reinterpret_cast<char*>(ini.text);
  const DWORD count = GetPrivateProfileStringA(names.section, names.key, "", scratch, kScratchSize, ini.path);
  *value = std::string_view(scratch, count);
  return count > 0;
}

int readIniString(const IniFile& ini, std::string_view section, std::string_view key, char* destination,
                  int destinationSize) {
  std::memset(destination, 0, static_cast<std::size_t>(destinationSize));
  const Names names(section, key);
  return static_cast<int>(GetPrivateProfileStringA(names.section, names.key, "", destination,
                                                   static_cast<DWORD>(destinationSize), ini.path));
}

std::vector<IniSection> listIniNames(const IniFile& ini) {
  std::vector<IniSection> sections;
  if (ini.path == nullptr) return sections;
  std::vector<char> names(32768), lines(32768);
  const DWORD namesLength = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), ini.path);
  for (const char* name = names.data(); name < names.data() + namesLength && *name != '\0';
       name += std::strlen(name) + 1) {
    IniSection section{name, {}};
    const DWORD length = GetPrivateProfileSectionA(name, lines.data(), static_cast<DWORD>(lines.size()), ini.path);
    for (const char* line = lines.data(); line < lines.data() + length && *line != '\0';
         line += std::strlen(line) + 1) {
      const char* equals = std::strchr(line, '=');
      if (equals != nullptr) section.keys.emplace_back(line, static_cast<std::size_t>(equals - line));
    }
    sections.push_back(section);
  }
  return sections;
}

int32_t readIniInt(const IniFile& ini, std::string_view section, std::string_view key, int32_t byDefault) {
  const Names names(section, key);
  return static_cast<int32_t>(GetPrivateProfileIntA(names.section, names.key, byDefault, ini.path));
}

}  // namespace mq
