#include "markup/parse_run.h"
#include "markup/html_references.h"

#include "common/unicode_conversion.h"

#if MQ_HAVE_LIBXML2

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "common/texts.h"
#include "common/work_areas.h"

namespace mq {

namespace {

// The names HTML reads without a ';', in byte order. The parser's table knows each by the
// same name except the upper-case twins, which it knows in lower case.
struct LegacyName {
  std::string_view name;
  const char* knownAs;
};

constexpr LegacyName kLegacyNames[] = {
    {"AElig", "AElig"},   {"AMP", "amp"},       {"Aacute", "Aacute"}, {"Acirc", "Acirc"},   {"Agrave", "Agrave"},
    {"Aring", "Aring"},   {"Atilde", "Atilde"}, {"Auml", "Auml"},     {"COPY", "copy"},     {"Ccedil", "Ccedil"},
    {"ETH", "ETH"},       {"Eacute", "Eacute"}, {"Ecirc", "Ecirc"},   {"Egrave", "Egrave"}, {"Euml", "Euml"},
    {"GT", "gt"},         {"Iacute", "Iacute"}, {"Icirc", "Icirc"},   {"Igrave", "Igrave"}, {"Iuml", "Iuml"},
    {"LT", "lt"},         {"Ntilde", "Ntilde"}, {"Oacute", "Oacute"}, {"Ocirc", "Ocirc"},   {"Ograve", "Ograve"},
    {"Oslash", "Oslash"}, {"Otilde", "Otilde"}, {"Ouml", "Ouml"},     {"QUOT", "quot"},     {"REG", "reg"},
    {"THORN", "THORN"},   {"Uacute", "Uacute"}, {"Ucirc", "Ucirc"},   {"Ugrave", "Ugrave"}, {"Uuml", "Uuml"},
    {"Yacute", "Yacute"}, {"aacute", "aacute"}, {"acirc", "acirc"},   {"acute", "acute"},   {"aelig", "aelig"},
    {"agrave", "agrave"}, {"amp", "amp"},       {"aring", "aring"},   {"atilde", "atilde"}, {"auml", "auml"},
    {"brvbar", "brvbar"}, {"ccedil", "ccedil"}, {"cedil", "cedil"},   {"cent", "cent"},     {"copy", "copy"},
    {"curren", "curren"}, {"deg", "deg"},       {"divide", "divide"}, {"eacute", "eacute"}, {"ecirc", "ecirc"},
    {"egrave", "egrave"}, {"eth", "eth"},       {"euml", "euml"},     {"frac12", "frac12"}, {"frac14", "frac14"},
    {"frac34", "frac34"}, {"gt", "gt"},         {"iacute", "iacute"}, {"icirc", "icirc"},   {"iexcl", "iexcl"},
    {"igrave", "igrave"}, {"iquest", "iquest"}, {"iuml", "iuml"},     {"laquo", "laquo"},   {"lt", "lt"},
    {"macr", "macr"},     {"micro", "micro"},   {"middot", "middot"}, {"nbsp", "nbsp"},     {"not", "not"},
    {"ntilde", "ntilde"}, {"oacute", "oacute"}, {"ocirc", "ocirc"},   {"ograve", "ograve"}, {"ordf", "ordf"},
    {"ordm", "ordm"},     {"oslash", "oslash"}, {"otilde", "otilde"}, {"ouml", "ouml"},     {"para", "para"},
    {"plusmn", "plusmn"}, {"pound", "pound"},   {"quot", "quot"},     {"raquo", "raquo"},   {"reg", "reg"},
    {"sect", "sect"},     {"shy", "shy"},       {"sup1", "sup1"},     {"sup2", "sup2"},     {"sup3", "sup3"},
    {"szlig", "szlig"},   {"thorn", "thorn"},   {"times", "times"},   {"uacute", "uacute"}, {"ucirc", "ucirc"},
    {"ugrave", "ugrave"}, {"uml", "uml"},       {"uuml", "uuml"},     {"yacute", "yacute"}, {"yen", "yen"},
    {"yuml", "yuml"},
};
static_assert(std::size(kLegacyNames) == 106);
static_assert(std::is_sorted(std::begin(kLegacyNames), std::end(kLegacyNames),
                             [](const LegacyName& a, const LegacyName& b) { return a.name < b.name; }));

constexpr int32_t kLongestTagName = 100;  // the parser reads no more of a name at a time

bool isBlank(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
bool isAsciiLetter(unsigned char byte) { return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z'); }
bool isDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// A character the parser takes from a reference (XML's Char).
bool isXmlChar(uint32_t point) {
  return point == 0x9 || point == 0xA || point == 0xD || (point >= 0x20 && point <= 0xD7FF) ||
         (point >= 0xE000 && point <= 0xFFFD) || (point >= 0x10000 && point <= 0x10FFFF);
}

// A byte that continues a name of the parser's (element, attribute or reference).
bool isNameByte(unsigned char byte) {
  return isAsciiLetter(byte) || isDigit(byte) || byte == '_' || byte == '-' || byte == ':' || byte == '.';
}

// The tag's bytes as the parser sees them: a zero byte, or the end of what it holds, stops it.
struct TagReader {
  const WrittenTag& tag;
  unsigned char at(int64_t i) const { return i < tag.length + tag.after ? tag.bytes[i] : 0; }
  bool endsTag(int64_t i) const { return at(i) == 0 || at(i) == '>' || (at(i) == '/' && at(i + 1) == '>'); }
  void skipBlanks(int64_t* i) const {
    while (isBlank(at(*i))) ++*i;
  }
  // An element or attribute name, lower-cased into `name` (kLongestTagName bytes); its length.
  int32_t tagName(int64_t* i, unsigned char* name) const {
    const unsigned char first = at(*i);
    if (!isAsciiLetter(first) && first != '_' && first != ':' && first != '.') return 0;
    int32_t length = 0;
    for (unsigned char byte = first; length < kLongestTagName && isNameByte(byte); byte = at(++*i)) {
      name[length++] = byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 0x20) : byte;
    }
    return length;
  }
};

struct ValueSpan {
  int64_t from;
  int64_t to;
};

// Writes the value as the parser reads it (decoding: with the references it leaves as
// written read as HTML reads them); its length, or -1 where this reading cannot be sure to
// be the parser's.
int64_t readValue(const WrittenTag& tag, ValueSpan span, bool decoding, unsigned char* out) {
  const TagReader reader{tag};
  int64_t written = 0;
  int64_t i = span.from;
  while (i < span.to) {
    const unsigned char byte = reader.at(i);
    const unsigned char first = reader.at(i + 1);
    // A "&" that begins no name the parser could know, or one beyond ASCII (which the parser
    // knows none of), stays as it is, and so does what follows.
    if (byte != '&' || (first != '#' && !isAsciiLetter(first) && first != '_' && first != ':')) {
      out[written++] = byte;
      ++i;
      continue;
    }
    if (first == '#') {
      // A character reference: its digits up to the first that is none, then an optional ';'.
      int64_t j = i + 2;
      const bool hex = reader.at(j) == 'x' || reader.at(j) == 'X';
      if (hex) ++j;
      uint32_t point = 0;
      for (;; ++j) {
        const unsigned char digit = reader.at(j);
        uint32_t value;
        if (isDigit(digit)) {
          value = digit - '0';
        } else if (hex && (digit | 0x20) >= 'a' && (digit | 0x20) <= 'f') {
          value = (digit | 0x20u) - 'a' + 10;
        } else {
          break;
        }
        if (point < 0x110000) point = point * (hex ? 16 : 10) + value;
      }
      if (reader.at(j) == ';') ++j;
      if (!isXmlChar(point)) return -1;  // the parser ends the value there
      written += writeUtf8(point, out + written);
      i = j;
      continue;
    }
    int64_t j = i + 2;
    while (isNameByte(reader.at(j))) ++j;
    const auto nameLength = static_cast<int32_t>(j - i - 1);
    // A name of the parser's table with its ';' is decoded; past ASCII its name runs on.
    if (reader.at(j) == ';' && nameLength <= kLongestTagName) {
      char name[kLongestTagName + 1] = {};
      std::memcpy(name, tag.bytes + i + 1, static_cast<std::size_t>(nameLength));
      if (const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name))) {
        written += writeUtf8(entity->value, out + written);
        i = j + 1;
        continue;
      }
    }
    int32_t used = 0;
    const uint32_t character =
        decoding ? bareLegacyReference(tag.bytes + i + 1, nameLength, reader.at(j), true, &used) : 0;
    if (character != 0) {
      written += writeUtf8(character, out + written);
      i += 1 + used;
      continue;
    }
    std::memcpy(out + written, tag.bytes + i, static_cast<std::size_t>(j - i));
    written += j - i;
    i = j;
  }
  return written;
}

// The attributes of the tag as the parser reads them, duplicates left out: the value spans
// (from -1 for an attribute without a value) of those that match the parser's names in
// order, into `spans`; false when they do not all match.
bool readAttributes(const WrittenTag& tag, const unsigned char* element, const unsigned char* const* attributes,
                    ValueSpan* spans) {
  const TagReader reader{tag};
  unsigned char name[kLongestTagName + 1] = {};
  int64_t i = 1;
  int32_t length = reader.tagName(&i, name);
  if (length == 0 || std::strlen(reinterpret_cast<const char*>(element)) != static_cast<std::size_t>(length) ||
      std::memcmp(name, element, static_cast<std::size_t>(length)) != 0) {
    return false;
  }
  int32_t kept = 0;
  reader.skipBlanks(&i);
  while (!reader.endsTag(i)) {
    length = reader.tagName(&i, name);
    if (length == 0) {
      while (!reader.endsTag(i) && !isBlank(reader.at(i))) ++i;  // the parser passes over it
      reader.skipBlanks(&i);
      continue;
    }
    ValueSpan span{-1, -1};
    reader.skipBlanks(&i);
    if (reader.at(i) == '=') {
      ++i;
      reader.skipBlanks(&i);
      const unsigned char quote = reader.at(i);
      if (quote == '"' || quote == '\'') {
        span.from = ++i;
        while (reader.at(i) != 0 && reader.at(i) != quote) ++i;
        span.to = i;
        if (reader.at(i) == quote) ++i;
      } else {
        span.from = i;
        while (reader.at(i) != 0 && reader.at(i) != '>' && !isBlank(reader.at(i))) ++i;
        span.to = i;
      }
    }
    reader.skipBlanks(&i);
    bool repeated = false;
    for (int32_t k = 0; k < kept && !repeated; ++k) {
      repeated = std::strlen(reinterpret_cast<const char*>(attributes[2 * k])) == static_cast<std::size_t>(length) &&
                 std::memcmp(attributes[2 * k], name, static_cast<std::size_t>(length)) == 0;
    }
    if (repeated) continue;
    if (attributes[2 * kept] == nullptr ||
        std::strlen(reinterpret_cast<const char*>(attributes[2 * kept])) != static_cast<std::size_t>(length) ||
        std::memcmp(attributes[2 * kept], name, static_cast<std::size_t>(length)) != 0 ||
        (span.from < 0) != (attributes[2 * kept + 1] == nullptr)) {
      return false;
    }
    spans[kept++] = span;
  }
  return i == tag.length && attributes[2 * kept] == nullptr;
}

}  // namespace

uint32_t legacyReference(const unsigned char* name, int32_t length) {
  if (length <= 0 || length > 6) return 0;
  const std::string_view wanted(reinterpret_cast<const char*>(name), static_cast<std::size_t>(length));
  const LegacyName* const end = std::end(kLegacyNames);
  const LegacyName* found =
      std::lower_bound(std::begin(kLegacyNames), end, wanted,
                       [](const LegacyName& entry, std::string_view value) { return entry.name < value; });
  if (found == end || found->name != wanted) return 0;
  // The characters are the parser's own for the same names, asked once.
  static uint32_t characters[std::size(kLegacyNames)] = {};
  uint32_t& character = characters[found - std::begin(kLegacyNames)];
  if (character == 0) {
    const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(found->knownAs));
    character = entity != nullptr ? entity->value : 0;
  }
  return character;
}

uint32_t bareLegacyReference(const unsigned char* name, int32_t length, unsigned char next, bool inValue,
                             int32_t* used) {
  int32_t letters = 0;
  while (letters < length && (isAsciiLetter(name[letters]) || isDigit(name[letters]))) ++letters;
  const unsigned char after = letters < length ? name[letters] : next;
  if (letters == length && next == ';') return 0;
  if (inValue && after == '=') return 0;
  *used = letters;
  return legacyReference(name, letters);
}

int decodeBareReferences(ParseRun& run, const WrittenTag& tag, const unsigned char* element, const unsigned char* const* attributes,
                         unsigned char** area, int32_t* areaSize, const unsigned char* const** decoded) {
  int32_t count = 0;
  while (attributes[2 * count] != nullptr) ++count;
  // The new name and value pointers, the value spans, then a value as the parser reads it and
  // the decoded values, none longer than the tag.
  const long long pointers = (2LL * count + 1) * static_cast<long long>(sizeof(unsigned char*));
  const long long spansSize = static_cast<long long>(count) * static_cast<long long>(sizeof(ValueSpan));
  const long long needed = pointers + spansSize + 2 * (tag.length + 1) + count + 64;
  if (ensureAreaRoom(run, area, areaSize, needed, 4096, kAreaStandardParser) != 0) return -1;
  auto** const names = reinterpret_cast<const unsigned char**>(*area);
  auto* const spans = reinterpret_cast<ValueSpan*>(*area + pointers);
  unsigned char* const checked = *area + pointers + spansSize;
  unsigned char* values = checked + tag.length + 1;
  if (!readAttributes(tag, element, attributes, spans)) return 0;
  for (int32_t k = 0; k < count; ++k) {
    names[2 * k] = attributes[2 * k];
    names[2 * k + 1] = attributes[2 * k + 1];
    if (spans[k].from < 0) continue;
    const int64_t asRead = readValue(tag, spans[k], false, checked);
    const unsigned char* parsers = attributes[2 * k + 1];
    if (asRead < 0 || std::strlen(reinterpret_cast<const char*>(parsers)) != static_cast<std::size_t>(asRead) ||
        std::memcmp(parsers, checked, static_cast<std::size_t>(asRead)) != 0) {
      return 0;
    }
    const int64_t length = readValue(tag, spans[k], true, values);
    if (length == asRead && std::memcmp(values, checked, static_cast<std::size_t>(length)) == 0) continue;
    values[length] = 0;
    names[2 * k + 1] = values;
    values += length + 1;
  }
  names[2 * count] = nullptr;
  *decoded = names;
  return 1;
}

bool mayHoldBareReference(const unsigned char* value) {
  for (const unsigned char* at = value;
       (at = reinterpret_cast<const unsigned char*>(std::strchr(reinterpret_cast<const char*>(at), '&'))) != nullptr;) {
    ++at;
    int32_t letters = 0;
    while (isAsciiLetter(at[letters]) || isDigit(at[letters])) ++letters;
    if (legacyReference(at, letters) != 0) return true;
  }
  return false;
}

}  // namespace mq

#endif
