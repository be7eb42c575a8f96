#include "common/known_code_conversion.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/known_code_tables.h"
#include "common/sjis_blocks.h"

namespace mq {
namespace {

namespace tables = known_tables;

// A character between reading and writing: a single byte (00-7F, or A1-DF for half-width
// katakana), a code page two-byte code 8140-FCFC in its preferred form, or one of these.
constexpr uint32_t kReplacement = 0x10000;  // written as the target's 〓 and counted
constexpr uint32_t kNothing = 0x20000;      // a JIS designation: the set changes, nothing is written

constexpr unsigned char kEsc = 0x1B;
constexpr int kLongestSequence = 3;  // 8F and two bytes, ESC and two bytes

struct Decoded {
  uint32_t character;
  int32_t length;  // bytes taken; 0 when the bytes end before the sequence can be read
};

inline bool inRange(unsigned int byte, unsigned int low, unsigned int high) { return byte >= low && byte <= high; }

inline bool isEucByte(unsigned int byte) { return inRange(byte, 0xA1, 0xFE); }

// Where a second byte stands among the 188 that follow a first byte.
inline unsigned int trailIndex(unsigned int trail) { return trail <= 0x7E ? trail - 0x40 : trail - 0x41; }

inline bool isAssigned(unsigned int code) {
  const unsigned int lead = code >> 8;
  const unsigned int row = lead <= 0x9F ? lead - 0x81 : lead - 0xC1;
  const unsigned int bit = trailIndex(code & 0xFF);
  return ((tables::kAssigned[row][bit >> 6] >> (bit & 63)) & 1) != 0;
}

// The code page prefers one code for each character it holds twice. Row 13's codes that
// JIS X 0208 holds too (87), the NEC-selected IBM extensions (ED, EE) and the IBM extensions
// that row 13 or JIS X 0208 holds (FA) are the only ones.
inline uint32_t preferred(unsigned int code) {
  const unsigned int lead = code >> 8;
  if (lead != 0x87 && lead != 0xED && lead != 0xEE && lead != 0xFA) return code;
  const auto* const end = tables::kDuplicates + tables::kDuplicateCount;
  const auto* const found = std::lower_bound(tables::kDuplicates, end, code,
                                             [](const tables::DuplicateCode& entry, unsigned int wanted) {
                                               return entry.code < wanted;
                                             });
  return found != end && found->code == code ? found->preferred : code;
}

inline uint32_t fromCodePage(unsigned int code) { return isAssigned(code) ? preferred(code) : kReplacement; }

struct RowCell {
  unsigned int row;
  unsigned int cell;
};

// The standard Shift-JIS arithmetic, both ways. Rows past 0x7E are those of the first bytes
// F0-FC, which JIS and EUC hold elsewhere or not at all.
inline RowCell sjisToRowCell(unsigned int code) {
  const unsigned int first = code >> 8;
  const unsigned int second = code & 0xFF;
  const unsigned int evenRow = second >= 0x9F ? 1u : 0u;
  const unsigned int row = 2 * (first - (first <= 0x9F ? 0x71u : 0xB1u)) + 1 + evenRow;
  const unsigned int cell = second - (second >= 0x80 ? 1u : 0u) - (evenRow != 0 ? 0x7Du : 0x1Fu);
  return RowCell{row, cell};
}

inline unsigned int rowCellToSjis(unsigned int row, unsigned int cell) {
  unsigned int second = cell + ((row & 1) != 0 ? 0x1F : 0x7D);
  if (second >= 0x7F) ++second;
  unsigned int first = ((row - 0x21) >> 1) + 0x81;
  if (first > 0x9F) first += 0x40;
  return first << 8 | second;
}

// The user-defined area F040-F9FC is EUC rows 85-94, two-byte (F040-F4FC) and after 8F
// (F540-F9FC): ten and twenty rows before its Shift-JIS rows.
constexpr unsigned int kUserRowsToEuc = 10;
constexpr unsigned int kUserRowsToEucSupplementary = 20;

inline unsigned int ibmIndex(unsigned int code) { return ((code >> 8) - 0xFA) * 188 + trailIndex(code & 0xFF); }

// ---- reading

// Reading starts at `at` with `available` bytes (one or more). `atEnd`: no bytes follow them,
// so a sequence they cut is read as far as it goes.
inline Decoded readSjis(const unsigned char* at, int64_t available, bool atEnd) {
  const unsigned int first = at[0];
  if (first < 0x80 || isKatakana(first)) return {first, 1};
  if (!isSjisLead(first)) return {kReplacement, 1};
  if (available < 2) return {kReplacement, atEnd ? 1 : 0};
  const unsigned int second = at[1];
  if (!isSjisTrail(second)) return {kReplacement, 1};
  return {fromCodePage(first << 8 | second), 2};
}

inline uint32_t fromEucSupplementary(unsigned int second, unsigned int third) {
  if (second >= 0xF5) return rowCellToSjis((second & 0x7F) + kUserRowsToEucSupplementary, third & 0x7F);
  const unsigned int code = second << 8 | third;
  const auto* const end = tables::kSupplementary + tables::kSupplementaryCount;
  const auto* const found = std::lower_bound(tables::kSupplementary, end, code,
                                             [](const tables::SupplementaryCode& entry, unsigned int wanted) {
                                               return entry.euc < wanted;
                                             });
  return found != end && found->euc == code ? found->cp932 : kReplacement;
}

inline Decoded readEuc(const unsigned char* at, int64_t available, bool atEnd) {
  const unsigned int first = at[0];
  if (first < 0x80) return {first, 1};
  const bool supplementary = first == 0x8F;
  if (first != 0x8E && !supplementary && !isEucByte(first)) return {kReplacement, 1};
  if (available < 2) return {kReplacement, atEnd ? 1 : 0};
  const unsigned int second = at[1];
  if (first == 0x8E) return isKatakana(second) ? Decoded{second, 2} : Decoded{kReplacement, 1};
  if (!isEucByte(second)) return {kReplacement, 1};
  if (!supplementary) {
    if (first >= 0xF5) return {rowCellToSjis((first & 0x7F) + kUserRowsToEuc, second & 0x7F), 2};
    return {fromCodePage(rowCellToSjis(first & 0x7F, second & 0x7F)), 2};
  }
  if (available < 3) return {kReplacement, atEnd ? 2 : 0};
  const unsigned int third = at[2];
  if (!isEucByte(third)) return {kReplacement, 2};
  return {fromEucSupplementary(second, third), 3};
}

// Reads JIS in the set `set`, which a designation changes. An ESC that begins none of the
// designations read here (ESC $ @, ESC $ B, ESC ( B, ESC ( J, ESC ( I), also one that the
// text's end cuts, is the control ESC, and what follows it is read afresh. Controls and the
// space are themselves in every set.
inline Decoded readJis(const unsigned char* at, int64_t available, bool atEnd, JisSet& set) {
  const unsigned int first = at[0];
  if (first == kEsc) {
    if (available < 2) return {kEsc, atEnd ? 1 : 0};
    const unsigned int second = at[1];
    if (second != '$' && second != '(') return {kEsc, 1};
    if (available < 3) return {kEsc, atEnd ? 1 : 0};
    const unsigned int third = at[2];
    if (second == '$' && (third == '@' || third == 'B')) {
      set = JisSet::Kanji;
      return {kNothing, 3};
    }
    if (second == '(' && (third == 'B' || third == 'J' || third == 'I')) {
      set = third == 'I' ? JisSet::Kana : JisSet::Ascii;
      return {kNothing, 3};
    }
    return {kEsc, 1};
  }
  if (first <= 0x20 || first == 0x7F) return {first, 1};
  if (first >= 0x80) return {kReplacement, 1};
  switch (set) {
    case JisSet::Ascii:
      return {first, 1};
    case JisSet::Kana:
      return first <= 0x5F ? Decoded{first | 0x80, 1} : Decoded{kReplacement, 1};
    case JisSet::Kanji:
      break;
  }
  if (available < 2) return {kReplacement, atEnd ? 1 : 0};
  const unsigned int second = at[1];
  if (!inRange(second, 0x21, 0x7E)) return {kReplacement, 1};
  return {fromCodePage(rowCellToSjis(first, second)), 2};
}

// ---- writing

// One conversion, made for its pair of codes so that reading and writing inline into the
// loop. The caller's state is held in locals for one piece.
template <CodeKind From, CodeKind To>
struct Converter {
  JisSet inputSet;
  JisSet outputSet;
  int64_t replaced;
  unsigned char* out;

  Decoded read(const unsigned char* at, int64_t available, bool atEnd) {
    if constexpr (From == CodeKind::Sjis) return readSjis(at, available, atEnd);
    if constexpr (From == CodeKind::Euc) return readEuc(at, available, atEnd);
    return readJis(at, available, atEnd, inputSet);
  }

  void put(unsigned int byte) { *out++ = static_cast<unsigned char>(byte); }
  void putPair(unsigned int first, unsigned int second) {
    out[0] = static_cast<unsigned char>(first);
    out[1] = static_cast<unsigned char>(second);
    out += 2;
  }

  void enterSet(JisSet set) {
    if (outputSet == set) return;
    put(kEsc);
    put(set == JisSet::Kanji ? '$' : '(');
    put(set == JisSet::Kana ? 'I' : 'B');
    outputSet = set;
  }

  void writeSjis(uint32_t character) {
    if (character == kReplacement) {
      ++replaced;
      putPair(0x81, 0xAC);
    } else if (character < 0x100) {
      put(character);
    } else {
      putPair(character >> 8, character & 0xFF);
    }
  }

  void writeEuc(uint32_t character) {
    if (character < 0x80) {
      put(character);
      return;
    }
    if (character < 0x100) {
      putPair(0x8E, character);
      return;
    }
    if (character == kReplacement) {
      ++replaced;
      putPair(0xA2, 0xAE);
      return;
    }
    const unsigned int lead = character >> 8;
    const RowCell pair = sjisToRowCell(character);
    if (lead < 0xF0) {
      putPair(pair.row | 0x80, pair.cell | 0x80);
    } else if (lead >= 0xFA) {
      const uint32_t euc = tables::kIbmEuc[ibmIndex(character)];
      if (euc > 0xFFFF) put(euc >> 16);
      putPair((euc >> 8) & 0xFF, euc & 0xFF);
    } else if (lead < 0xF5) {
      putPair((pair.row - kUserRowsToEuc) | 0x80, pair.cell | 0x80);
    } else {
      put(0x8F);
      putPair((pair.row - kUserRowsToEucSupplementary) | 0x80, pair.cell | 0x80);
    }
  }

  void writeJis(uint32_t character) {
    if (character < 0x80) {
      enterSet(JisSet::Ascii);
      put(character);
      return;
    }
    if (character < 0x100) {
      enterSet(JisSet::Kana);
      put(character & 0x7F);
      return;
    }
    unsigned int row = 0x22;  // 〓
    unsigned int cell = 0x2E;
    const unsigned int lead = character >> 8;
    if (character == kReplacement || (lead >= 0xF0 && lead < 0xFA)) {
      ++replaced;
    } else if (lead >= 0xFA) {
      const unsigned int jis = tables::kIbmJis[ibmIndex(character)];
      row = jis >> 8;
      cell = jis & 0xFF;
    } else {
      const RowCell pair = sjisToRowCell(character);
      row = pair.row;
      cell = pair.cell;
    }
    enterSet(JisSet::Kanji);
    putPair(row, cell);
  }

  void write(uint32_t character) {
    if (character == kNothing) return;
    if constexpr (To == CodeKind::Sjis) writeSjis(character);
    if constexpr (To == CodeKind::Euc) writeEuc(character);
    if constexpr (To == CodeKind::Jis) writeJis(character);
  }

  // Bytes below 0x80 that are ASCII to the reader and written as they are: copied as they
  // stand, eight at a time while no byte has its top bit set (nor, in JIS, is ESC). The
  // caller makes sure that the reader is in ASCII (JIS) and the writer too.
  const unsigned char* copyAscii(const unsigned char* in, const unsigned char* end) {
    constexpr bool stopAtEsc = From == CodeKind::Jis;
    while (end - in >= 8) {
      uint64_t word;
      std::memcpy(&word, in, 8);
      uint64_t stops = word;
      if constexpr (stopAtEsc) {
        const uint64_t esc = word ^ 0x1B1B1B1B1B1B1B1Bull;
        stops |= (esc - 0x0101010101010101ull) & ~esc;
      }
      if ((stops & 0x8080808080808080ull) != 0) break;
      std::memcpy(out, &word, 8);
      out += 8;
      in += 8;
    }
    while (in < end && *in < 0x80 && !(stopAtEsc && *in == kEsc)) *out++ = *in++;
    return in;
  }

  bool asciiCopies() const {
    return (From != CodeKind::Jis || inputSet == JisSet::Ascii) && (To != CodeKind::Jis || outputSet == JisSet::Ascii);
  }

  void load(const KnownConversionState& state) {
    inputSet = state.inputSet;
    outputSet = state.outputSet;
    replaced = state.replaced;
  }

  void store(KnownConversionState* state) const {
    state->inputSet = inputSet;
    state->outputSet = outputSet;
    state->replaced = replaced;
  }
};

template <CodeKind From, CodeKind To>
int32_t convertPieceAs(KnownConversionState* state, unsigned char* destination, const unsigned char* source,
                       int32_t length, KnownPath path) {
  Converter<From, To> c{};
  c.load(*state);
  c.out = destination;
  const unsigned char* in = source;
  const unsigned char* const end = source + length;

  // A sequence that the last piece cut is read again with the bytes that complete it. What
  // it reads as may take only some of the carried bytes; the rest are read afresh.
  int carried = state->carriedLength;
  while (carried > 0) {
    unsigned char joined[kLongestSequence];
    const int taken = static_cast<int>(std::min<int64_t>(kLongestSequence - carried, end - in));
    std::memcpy(joined, state->carried, static_cast<std::size_t>(carried));
    std::memcpy(joined + carried, in, static_cast<std::size_t>(taken));
    const Decoded d = c.read(joined, carried + taken, false);
    if (d.length == 0) {  // the piece ended before the sequence did
      std::memcpy(state->carried, joined, static_cast<std::size_t>(carried + taken));
      carried += taken;
      in = end;
      break;
    }
    c.write(d.character);
    if (d.length >= carried) {
      in += d.length - carried;
      carried = 0;
    } else {
      std::memmove(state->carried, state->carried + d.length, static_cast<std::size_t>(carried - d.length));
      carried -= d.length;
    }
  }

  while (in < end) {
    if (path == KnownPath::Bulk && *in < 0x80 && c.asciiCopies()) {
      in = c.copyAscii(in, end);
      if (in == end) break;
    }
    const Decoded d = c.read(in, end - in, false);
    if (d.length == 0) {
      carried = static_cast<int>(end - in);
      std::memcpy(state->carried, in, static_cast<std::size_t>(carried));
      break;
    }
    c.write(d.character);
    in += d.length;
  }
  state->carriedLength = static_cast<uint8_t>(carried);
  c.store(state);
  return static_cast<int32_t>(c.out - destination);
}

template <CodeKind From, CodeKind To>
int32_t finishAs(KnownConversionState* state, unsigned char* destination) {
  Converter<From, To> c{};
  c.load(*state);
  c.out = destination;
  const unsigned char* in = state->carried;
  const unsigned char* const end = in + state->carriedLength;
  while (in < end) {
    const Decoded d = c.read(in, end - in, true);
    c.write(d.character);
    in += d.length;
  }
  if constexpr (To == CodeKind::Jis) c.enterSet(JisSet::Ascii);
  c.store(state);
  return static_cast<int32_t>(c.out - destination);
}

// Calls visit.operator()<From, To>() for two different codes among the three; 0 for any
// other pair, which passes through.
template <typename Visit>
int32_t forCodes(CodeKind from, CodeKind to, Visit&& visit) {
  using enum CodeKind;
  if (from == Sjis && to == Euc) return visit.template operator()<Sjis, Euc>();
  if (from == Sjis && to == Jis) return visit.template operator()<Sjis, Jis>();
  if (from == Euc && to == Sjis) return visit.template operator()<Euc, Sjis>();
  if (from == Euc && to == Jis) return visit.template operator()<Euc, Jis>();
  if (from == Jis && to == Sjis) return visit.template operator()<Jis, Sjis>();
  if (from == Jis && to == Euc) return visit.template operator()<Jis, Euc>();
  return 0;
}

bool passesThrough(const KnownConversionState& state) {
  const auto known = [](CodeKind code) {
    return code == CodeKind::Jis || code == CodeKind::Euc || code == CodeKind::Sjis;
  };
  return state.from == state.to || !known(state.from) || !known(state.to);
}

}  // namespace

void startKnownConversion(KnownConversionState* state, CodeKind from, CodeKind to) {
  state->from = from;
  state->to = to;
  state->inputSet = JisSet::Ascii;
  state->outputSet = JisSet::Ascii;
  state->carriedLength = 0;
  std::memset(state->carried, 0, sizeof state->carried);
  state->replaced = 0;
}

int32_t convertKnownPiece(KnownConversionState* state, unsigned char* destination, const unsigned char* source,
                          int32_t length, KnownPath path) {
  if (length <= 0) return 0;
  if (passesThrough(*state)) {
    std::memcpy(destination, source, static_cast<std::size_t>(length));
    return length;
  }
  return forCodes(state->from, state->to, [&]<CodeKind From, CodeKind To>() {
    return convertPieceAs<From, To>(state, destination, source, length, path);
  });
}

int32_t finishKnownConversion(KnownConversionState* state, unsigned char* destination) {
  const int32_t written = passesThrough(*state) ? 0 : forCodes(state->from, state->to, [&]<CodeKind From, CodeKind To>() {
    return finishAs<From, To>(state, destination);
  });
  const int64_t replaced = state->replaced;
  startKnownConversion(state, state->from, state->to);
  state->replaced = replaced;
  return written;
}

int64_t knownConversionCapacity(int64_t length, CodeKind to) {
  const int64_t counted = length > 0 ? length : 0;
  return to == CodeKind::Jis ? 5 * counted + 13 : 2 * counted + 6;
}

namespace {

// Bytes below 0x80 from `at`, eight at a time: where the first byte with its top bit set is,
// or the end.
const unsigned char* skipAscii(const unsigned char* at, const unsigned char* end) {
  while (end - at >= 8) {
    uint64_t word;
    std::memcpy(&word, at, 8);
    const uint64_t high = word & 0x8080808080808080ull;
    // The lowest high bit is the first such byte's.
    if (high != 0) return at + std::countr_zero(high) / 8;
    at += 8;
  }
  while (at < end && *at < 0x80) ++at;
  return at;
}

// The length of the EUC-JP or Shift-JIS sequence at `at` that is not ASCII, or 0 when none
// begins there.
int64_t eucSequence(const unsigned char* at, int64_t available) {
  const unsigned int first = at[0];
  if (first == 0x8E) return available >= 2 && isKatakana(at[1]) ? 2 : 0;
  if (first == 0x8F) return available >= 3 && isEucByte(at[1]) && isEucByte(at[2]) ? 3 : 0;
  if (isEucByte(first)) return available >= 2 && isEucByte(at[1]) ? 2 : 0;
  return 0;
}

int64_t sjisSequence(const unsigned char* at, int64_t available) {
  const unsigned int first = at[0];
  if (isKatakana(first)) return 1;
  return isSjisLead(first) && available >= 2 && isSjisTrail(at[1]) ? 2 : 0;
}

// The sequence rule is a template argument so that it is inlined: a validity check runs over
// whole documents.
template <int64_t (*sequence)(const unsigned char*, int64_t)>
bool isValidText(const unsigned char* text, int64_t length, KnownPath path) {
  const unsigned char* at = text;
  const unsigned char* const end = text + (length > 0 ? length : 0);
  while (at < end) {
    if (*at < 0x80) {
      at = path == KnownPath::Bulk ? skipAscii(at, end) : at + 1;
      continue;
    }
    const int64_t taken = sequence(at, end - at);
    if (taken == 0) return false;
    at += taken;
  }
  return true;
}

}  // namespace

bool isValidEucJp(const unsigned char* text, int64_t length, KnownPath path) {
  return isValidText<eucSequence>(text, length, path);
}

bool isValidCp932(const unsigned char* text, int64_t length, KnownPath path) {
  if (path == KnownPath::Bulk) return isValidCp932InBlocks(text, length > 0 ? length : 0);
  return isValidText<sjisSequence>(text, length, path);
}

}  // namespace mq
