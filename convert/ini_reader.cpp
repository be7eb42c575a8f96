#include "convert/ini_reader.h"

#include <cstring>

#include "common/file_reading.h"
#include "common/text_helpers.h"
#include "common/work_areas.h"

namespace mq {

namespace {

std::string_view trimSpaceTab(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 0x20);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 0x20);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int openIniFile(IniFile* ini, const char* path) {
  *ini = IniFile{};
  // A settings file that is missing is no settings file with every key left out.
  if (readWholeFile(&ini->text, &ini->length, path) == 0) return 0;
  releaseArea(&ini->text);
  ini->length = 0;
  return -1;
}

void closeIniFile(IniFile* ini) {
  releaseArea(&ini->text);
  ini->length = 0;
}

bool findIniValue(const IniFile& ini, std::string_view section, std::string_view key, std::string_view* value) {
  if (ini.text == nullptr) return false;
  const std::string_view all(reinterpret_cast<const char*>(ini.text), static_cast<std::size_t>(ini.length));
  bool inSection = false;
  bool sectionSeen = false;
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trimSpaceTab(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // Only the first section of a name counts: a later one of the same name is ignored.
      if (inSection) return false;
      const std::size_t close = line.find(']');
      const std::string_view name =
          trimSpaceTab(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      inSection = !sectionSeen && sameIgnoringCase(name, section);
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (!sameIgnoringCase(trimSpaceTab(line.substr(0, equals)), key)) continue;
    std::string_view found = trimSpaceTab(line.substr(equals + 1));
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') && found.back() == found.front()) {
      found = found.substr(1, found.size() - 2);
    }
    *value = found;
    return true;
  }
  return false;
}

int readIniString(const IniFile& ini, std::string_view section, std::string_view key, char* destination,
                  int destinationSize) {
  std::memset(destination, 0, static_cast<std::size_t>(destinationSize));
  std::string_view value;
  if (!findIniValue(ini, section, key, &value)) return 0;
  const std::size_t room = static_cast<std::size_t>(destinationSize - 1);
  const std::size_t count = value.size() < room ? value.size() : room;
  std::memcpy(destination, value.data(), count);
  return static_cast<int>(count);
}

std::vector<IniSection> listIniNames(const IniFile& ini) {
  std::vector<IniSection> sections;
  if (ini.text == nullptr) return sections;
  const std::string_view all(reinterpret_cast<const char*>(ini.text), static_cast<std::size_t>(ini.length));
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t end = all.find('\n', at);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = trimSpaceTab(all.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      sections.push_back({std::string(trimSpaceTab(line.substr(1, close == std::string_view::npos ? line.size() - 1
                                                                                                : close - 1))),
                          {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && !sections.empty()) {
      sections.back().keys.emplace_back(trimSpaceTab(line.substr(0, equals)));
    }
  }
  return sections;
}

int32_t readIniInt(const IniFile& ini, std::string_view section, std::string_view key, int32_t byDefault) {
  std::string_view value;
  if (!findIniValue(ini, section, key, &value)) return byDefault;
  std::size_t i = 0;
  while (i < value.size() && isBlank(static_cast<unsigned char>(value[i]))) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  long long magnitude = 0;
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace mq
