#include "common/unicode_conversion.h"

#include <array>
#include <cstring>
#include <iterator>
#include <vector>

#include "common/cp932_unicode_table.h"
#include "common/platform.h"

namespace mq {

namespace {

constexpr unsigned char kReplacementCharacter[] = {0xEF, 0xBF, 0xBD};  // U+FFFD in UTF-8
constexpr unsigned char kGeta[] = {0x81, 0xAC};                        // 〓 in CP932
constexpr unsigned char kNotShiftJis = 0xFF;
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;


bool inRange(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// True when the bytes are the start of a valid sequence that the end of the text has cut.
bool cutSequence(const unsigned char* text, int64_t available) {
  if (available <= 0 || available >= 4) return false;
  const unsigned char first = text[0];
  int needed;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (inRange(first, 0xC2, 0xDF)) {
    needed = 2;
  } else if (inRange(first, 0xE0, 0xEF)) {
    needed = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (inRange(first, 0xF0, 0xF4)) {
    needed = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return false;
  }
  if (available >= needed) return false;
  for (int64_t i = 1; i < available; ++i) {
    if (!inRange(text[i], i == 1 ? low : 0x80, i == 1 ? high : 0xBF)) return false;
  }
  return true;
}


// The row of the table a first byte opens (81-9F, then E0-FC), -1 for any other byte.
constexpr auto kLeadRows = [] {
  std::array<int16_t, 256> rows{};
  for (int b = 0; b < 256; ++b) {
    rows[static_cast<std::size_t>(b)] =
        static_cast<int16_t>(b >= 0x81 && b <= 0x9F ? b - 0x81 : b >= 0xE0 && b <= 0xFC ? b - 0xE0 + 0x1F : -1);
  }
  return rows;
}();

// The UTF-8 form of every two-byte code, its bytes in the low three bytes and its length in
// the high one (0: no character), made once from the table: a pair then costs one look-up.
const uint32_t* cp932Utf8Forms() {
  static const std::vector<uint32_t> forms = [] {
    std::vector<uint32_t> made(std::size(kCp932Unicode));
    for (std::size_t i = 0; i < made.size(); ++i) {
      if (kCp932Unicode[i] == 0) continue;
      unsigned char bytes[4] = {};
      const int length = writeUtf8(kCp932Unicode[i], bytes);
      made[i] = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(length) << 24;
    }
    return made;
  }();
  return forms.data();
}


// Bytes up to the first that is not ASCII, eight at a time.
int64_t asciiRun(const unsigned char* text, int64_t length, UnicodePath path) {
  int64_t i = 0;
  if (path == UnicodePath::Bulk) {
    for (; i + 8 <= length; i += 8) {
      uint64_t word;
      std::memcpy(&word, text + i, 8);
      if ((word & uint64_t{0x8080808080808080}) != 0) break;
    }
  }
  while (i < length && text[i] < 0x80) ++i;
  return i;
}

// The longest start of the text made of whole valid sequences.
int64_t validPrefix(const unsigned char* text, int64_t length, UnicodePath path) {
  int64_t i = 0;
  while (i < length) {
    if (text[i] < 0x80) {
      i += path == UnicodePath::Bulk ? asciiRun(text + i, length - i, path) : 1;
      continue;
    }
    const int sequence = utf8SequenceLength(text + i, length - i);
    if (sequence == 0) break;
    i += sequence;
  }
  return i;
}

// A byte that begins no character at `in`: in strict decoding the end of the decoding
// (false, its offset kept), otherwise U+FFFD written in its place and counted.
bool replaceBadByte(Utf8Decoder* decoder, int32_t in, unsigned char* destination, int32_t* out) {
  if (decoder->strict) {
    decoder->badOffset = decoder->consumed + in;
    return false;
  }
  std::memcpy(destination + *out, kReplacementCharacter, 3);
  *out += 3;
  ++decoder->replaced;
  return true;
}

int32_t decodeUtf8(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                   unsigned char* destination, int32_t capacity, int32_t* used) {
  int32_t in = 0;
  int32_t out = 0;
  while (in < length) {
    // Eight bytes are kept back, so that a replacement always fits.
    const int32_t roomLeft = capacity - 8 - out;
    if (roomLeft <= 0) break;
    const int32_t window = roomLeft < length - in ? roomLeft : length - in;
    const auto good = static_cast<int32_t>(validPrefix(source + in, window, UnicodePath::Bulk));
    std::memcpy(destination + out, source + in, static_cast<std::size_t>(good));
    in += good;
    out += good;
    if (in >= length) break;
    const int64_t available = length - in;
    if (utf8SequenceLength(source + in, available) != 0) break;  // a whole sequence beyond the room
    if (cutSequence(source + in, available) && !last) break;     // completed by the next piece
    if (!replaceBadByte(decoder, in, destination, &out)) {
      *used = in;
      return -1;
    }
    ++in;
  }
  *used = in;
  return out;
}

int32_t decodeWithConverter(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                            unsigned char* destination, int32_t capacity, int32_t* used) {
  void* const converter = decoder->converter;
  const std::size_t unit = decoder->code == SourceCode::Utf16Le || decoder->code == SourceCode::Utf16Be ? 2 : 1;
  char* in = const_cast<char*>(reinterpret_cast<const char*>(source));
  std::size_t inLeft = static_cast<std::size_t>(length);
  char* out = reinterpret_cast<char*>(destination);
  std::size_t outLeft = capacity > 8 ? static_cast<std::size_t>(capacity - 8) : 0;
  while (inLeft > 0 && outLeft > 0) {
    const ConvertStop stop = convertCodes(converter, &in, &inLeft, &out, &outLeft);
    if (stop == ConvertStop::Done || stop == ConvertStop::NoRoom) break;
    if (stop == ConvertStop::CutSequence && !last) break;
    // A sequence that is not of the code, or one that the end of the document cut.
    if (decoder->strict) {
      decoder->badOffset = decoder->consumed + (reinterpret_cast<unsigned char*>(in) - source);
      *used = static_cast<int32_t>(reinterpret_cast<unsigned char*>(in) - source);
      return -1;
    }
    // The room kept back above always holds the replacement.
    std::memcpy(out, kReplacementCharacter, 3);
    out += 3;
    ++decoder->replaced;
    outLeft = outLeft > 3 ? outLeft - 3 : 0;
    const std::size_t skipped = inLeft < unit ? inLeft : unit;
    in += skipped;
    inLeft -= skipped;
    resetCodeConverter(converter);
  }
  *used = static_cast<int32_t>(reinterpret_cast<unsigned char*>(in) - source);
  return static_cast<int32_t>(reinterpret_cast<unsigned char*>(out) - destination);
}

const char* converterName(SourceCode code, const char* label) {
  switch (code) {
    case SourceCode::Utf16Le:
      return "UTF-16LE";
    case SourceCode::Utf16Be:
      return "UTF-16BE";
    case SourceCode::Cp932:
    case SourceCode::Jis:  // read after jisToShiftJis
      return "CP932";
    case SourceCode::EucJp:
      return "EUC-JP-MS";
    case SourceCode::Labelled:
      return label;
    case SourceCode::Utf8:
      break;
  }
  return nullptr;
}

}  // namespace

int utf8SequenceLength(const unsigned char* text, int64_t available) {
  if (available <= 0) return 0;
  const unsigned char first = text[0];
  if (first < 0x80) return 1;
  if (inRange(first, 0xC2, 0xDF)) return available >= 2 && inRange(text[1], 0x80, 0xBF) ? 2 : 0;
  if (inRange(first, 0xE0, 0xEF)) {
    if (available < 3) return 0;
    const unsigned char low = first == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = first == 0xED ? 0x9F : 0xBF;
    return inRange(text[1], low, high) && inRange(text[2], 0x80, 0xBF) ? 3 : 0;
  }
  if (inRange(first, 0xF0, 0xF4)) {
    if (available < 4) return 0;
    const unsigned char low = first == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = first == 0xF4 ? 0x8F : 0xBF;
    return inRange(text[1], low, high) && inRange(text[2], 0x80, 0xBF) && inRange(text[3], 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

bool isValidUtf8(const unsigned char* text, int64_t length, UnicodePath path) {
  return validPrefix(text, length, path) == length;
}

int openDecoder(Utf8Decoder* decoder, SourceCode code, const char* label, bool strict) {
  *decoder = Utf8Decoder{code, nullptr, strict, -1, 0, 0};
  // UTF-8 and the code page are read by tables of our own; the rest by the platform.
  if (code == SourceCode::Utf8 || code == SourceCode::Cp932) return 0;
  const char* name = converterName(code, label);
  if (name == nullptr) return -1;
  void* const converter = openCodeConverter("UTF-8", name);
  if (converter == nullptr) return -1;
  decoder->converter = converter;
  return 0;
}

void closeDecoder(Utf8Decoder* decoder) {
  closeCodeConverter(decoder->converter);
  decoder->converter = nullptr;
}

int32_t decodePiece(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                    unsigned char* destination, int32_t capacity, int32_t* used) {
  *used = 0;
  if (length <= 0) return 0;
  const int32_t written =
      decoder->code == SourceCode::Utf8    ? decodeUtf8(decoder, source, length, last, destination, capacity, used)
      : decoder->code == SourceCode::Cp932 ? decodeCp932(decoder, source, length, last, destination, capacity, used)
                                           : decodeWithConverter(decoder, source, length, last, destination, capacity, used);
  decoder->consumed += *used;
  return written;
}

int32_t jisToShiftJis(unsigned char* text, int32_t length) {
  enum class Mode { Ascii, Kanji, Kana, Foreign };
  Mode mode = Mode::Ascii;
  int32_t out = 0;
  int32_t i = 0;
  auto at = [&](int32_t index) -> unsigned char { return index < length ? text[index] : 0; };
  while (i < length) {
    const unsigned char byte = text[i];
    if (byte == kEsc) {
      const unsigned char second = at(i + 1);
      const unsigned char third = at(i + 2);
      if (second == '$' && (third == '@' || third == 'B')) {
        mode = Mode::Kanji;
        i += 3;
      } else if (second == '$' && third == '(' && (at(i + 3) == 'Q' || at(i + 3) == 'O')) {
        mode = Mode::Kanji;  // JIS X 0213 plane 1: its JIS X 0208 part reads the same
        i += 4;
      } else if (second == '$' && (third == 'A' || third == '(' || third == ')')) {
        mode = Mode::Foreign;  // another two-byte set (JIS X 0212, GB 2312, ...)
        i += third == 'A' ? 3 : 4;
      } else if (second == '(' && (third == 'B' || third == 'J')) {
        mode = Mode::Ascii;
        i += 3;
      } else if (second == '(' && third == 'I') {
        mode = Mode::Kana;
        i += 3;
      } else {
        text[out++] = byte;
        ++i;
      }
      continue;
    }
    if (byte == kShiftOut || byte == kShiftIn) {
      mode = byte == kShiftOut ? Mode::Kana : Mode::Ascii;
      ++i;
      continue;
    }
    const bool jisByte = inRange(byte, 0x21, 0x7E);
    if ((mode == Mode::Kanji || mode == Mode::Foreign) && jisByte) {
      const unsigned char cell = at(i + 1);
      if (!inRange(cell, 0x21, 0x7E)) {
        text[out++] = kNotShiftJis;
        ++i;
        continue;
      }
      if (mode == Mode::Foreign) {
        text[out++] = kNotShiftJis;
      } else {
        const int row = byte;
        int lead = ((row - 0x21) >> 1) + 0x81;
        if (lead > 0x9F) lead += 0x40;
        int trail = cell + ((row & 1) != 0 ? 0x1F : 0x7D);
        if (trail >= 0x7F) ++trail;
        text[out++] = static_cast<unsigned char>(lead);
        text[out++] = static_cast<unsigned char>(trail);
      }
      i += 2;
      continue;
    }
    if (mode == Mode::Kana && inRange(byte, 0x21, 0x5F)) {
      text[out++] = static_cast<unsigned char>(byte + 0x80);
    } else {
      text[out++] = byte;
    }
    ++i;
  }
  return out;
}

int openEncoder(Cp932Encoder* encoder) {
  *encoder = Cp932Encoder{nullptr, 0};
  void* const converter = openCodeConverter("CP932", "UTF-8");
  if (converter == nullptr) return -1;
  encoder->converter = converter;
  return 0;
}

void closeEncoder(Cp932Encoder* encoder) {
  closeCodeConverter(encoder->converter);
  encoder->converter = nullptr;
}

namespace {

// The character at text, which the converter refused or which is taken alone: written as
// the replacement the system uses for it. Returns the source bytes it took.
int32_t writeUnconvertible(Cp932Encoder* encoder, const unsigned char* text, int32_t length, unsigned char* out,
                           int32_t* written) {
  const int sequence = utf8SequenceLength(text, length);
  if (sequence == 2 && text[0] == 0xC2 && text[1] == 0xA0) {
    out[(*written)++] = ' ';
    return 2;
  }
  ++encoder->replaced;
  if (sequence == 0) {
    out[(*written)++] = '?';
    return 1;
  }
  out[(*written)++] = kGeta[0];
  out[(*written)++] = kGeta[1];
  return sequence;
}

// Converts text[0, length) of non-ASCII characters through the converter. Every character
// takes at most as many bytes as its UTF-8 form, so the room of `length` always suffices.
void convertRun(Cp932Encoder* encoder, const unsigned char* text, int32_t length, unsigned char* destination,
                int32_t* written) {
  void* const converter = encoder->converter;
  int32_t taken = 0;
  while (taken < length) {
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text + taken));
    std::size_t inLeft = static_cast<std::size_t>(length - taken);
    char* out = reinterpret_cast<char*>(destination + *written);
    std::size_t outLeft = inLeft;
    const ConvertStop stop = convertCodes(converter, &in, &inLeft, &out, &outLeft);
    *written = static_cast<int32_t>(reinterpret_cast<unsigned char*>(out) - destination);
    taken = length - static_cast<int32_t>(inLeft);
    if (stop == ConvertStop::Done) break;
    resetCodeConverter(converter);
    taken += writeUnconvertible(encoder, text + taken, length - taken, destination, written);
  }
}

}  // namespace

namespace {

// The CP932 form of every character of the Basic Multilingual Plane as the converter writes
// it, asked of the converter once per process: 0 when it has none, a value below 0x100 for a
// single byte, else the two bytes, first byte high. Learnt by the first encoder that needs
// them and read-only from then on, whichever thread asks.
struct Cp932Forms {
  uint16_t form[0x10000];
};

void learnCp932Forms(void* converter, Cp932Forms& forms) {
  for (uint32_t point = 0x80; point <= 0xFFFF; ++point) {
    if (point >= 0xD800 && point <= 0xDFFF) continue;
    unsigned char utf8[3];
    std::size_t length;
    if (point < 0x800) {
      utf8[0] = static_cast<unsigned char>(0xC0 | (point >> 6));
      utf8[1] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      length = 2;
    } else {
      utf8[0] = static_cast<unsigned char>(0xE0 | (point >> 12));
      utf8[1] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
      utf8[2] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      length = 3;
    }
    unsigned char form[4] = {};
    char* in = reinterpret_cast<char*>(utf8);
    char* out = reinterpret_cast<char*>(form);
    std::size_t inLeft = length;
    std::size_t outLeft = sizeof form;
    if (convertCodes(converter, &in, &inLeft, &out, &outLeft) != ConvertStop::Done) {
      resetCodeConverter(converter);
      continue;
    }
    const std::size_t written = sizeof form - outLeft;
    if (written == 1 && form[0] != 0) forms.form[point] = form[0];
    if (written == 2) forms.form[point] = static_cast<uint16_t>((form[0] << 8) | form[1]);
  }
}

const Cp932Forms& cp932Forms(void* converter) {
  static const Cp932Forms* const forms = [converter] {
    auto* learnt = new Cp932Forms{};
    learnCp932Forms(converter, *learnt);
    return learnt;
  }();
  return *forms;
}

uint32_t codePointOf(const unsigned char* text, int sequence) {
  switch (sequence) {
    case 2:
      return ((text[0] & 0x1Fu) << 6) | (text[1] & 0x3Fu);
    case 3:
      return ((text[0] & 0x0Fu) << 12) | ((text[1] & 0x3Fu) << 6) | (text[2] & 0x3Fu);
    default:
      return 0x10000;  // beyond the plane: CP932 has none of these
  }
}

}  // namespace

int32_t encodeCp932(Cp932Encoder* encoder, const unsigned char* text, int32_t length, unsigned char* destination,
                    UnicodePath path) {
  int32_t written = 0;
  int32_t i = 0;
  const uint16_t* forms = path == UnicodePath::Bulk ? cp932Forms(encoder->converter).form : nullptr;
  while (i < length) {
    if (path == UnicodePath::Bulk) {
      const auto ascii = static_cast<int32_t>(asciiRun(text + i, length - i, path));
      std::memcpy(destination + written, text + i, static_cast<std::size_t>(ascii));
      written += ascii;
      i += ascii;
      // Then the characters up to the next ASCII byte, from the learnt forms.
      while (i < length && text[i] >= 0x80) {
        const int sequence = utf8SequenceLength(text + i, length - i);
        const uint32_t point = sequence == 0 ? 0 : codePointOf(text + i, sequence);
        const uint16_t form = point >= 0x80 && point <= 0xFFFF && point != 0xA0 ? forms[point] : 0;
        if (form == 0) {
          i += writeUnconvertible(encoder, text + i, length - i, destination, &written);
        } else {
          if (form >= 0x100) destination[written++] = static_cast<unsigned char>(form >> 8);
          destination[written++] = static_cast<unsigned char>(form & 0xFF);
          i += sequence;
        }
      }
      continue;
    }
    if (text[i] < 0x80) {
      destination[written++] = text[i++];
      continue;
    }
    const int sequence = utf8SequenceLength(text + i, length - i);
    if (sequence == 0 || (sequence == 2 && text[i] == 0xC2 && text[i + 1] == 0xA0)) {
      i += writeUnconvertible(encoder, text + i, length - i, destination, &written);
      continue;
    }
    convertRun(encoder, text + i, sequence, destination, &written);
    i += sequence;
  }
  return written;
}

int32_t decodeCp932(Utf8Decoder* decoder, const unsigned char* source, int32_t length, bool last,
                    unsigned char* destination, int32_t capacity, int32_t* used, UnicodePath path) {
  const uint32_t* const forms = cp932Utf8Forms();
  int32_t in = 0;
  int32_t out = 0;
  while (in < length && capacity - out >= 8) {
    const unsigned char byte = source[in];
    if (byte < 0x80) {
      // Plain bytes in runs, as far as the room allows.
      const int32_t room = capacity - 8 - out;
      const int32_t window = room < length - in ? room : length - in;
      const auto run = static_cast<int32_t>(path == UnicodePath::Bulk ? asciiRun(source + in, window, path) : 1);
      std::memcpy(destination + out, source + in, static_cast<std::size_t>(run));
      in += run;
      out += run;
      continue;
    }
    if (path == UnicodePath::Bulk) {
      // Runs of two-byte characters, most of Japanese text, in a loop of their own.
      const int32_t start = in;
      while (in + 1 < length && capacity - out >= 8) {
        const int row = kLeadRows[source[in]];
        const unsigned trail = source[in + 1] - 0x40u;
        if (row < 0 || trail > 0xFCu - 0x40u) break;
        const uint32_t form = forms[row * kCp932Trails + static_cast<int>(trail)];
        if (form == 0) break;
        const uint32_t bytes = form & 0xFFFFFF;
        std::memcpy(destination + out, &bytes, 4);
        out += static_cast<int32_t>(form >> 24);
        in += 2;
      }
      if (in != start) continue;
    }
    if (inRange(byte, 0xA1, 0xDF)) {  // half-width katakana
      out += writeUtf8(0xFF61u + (byte - 0xA1u), destination + out);
      ++in;
      continue;
    }
    const bool lead = inRange(byte, 0x81, 0x9F) || inRange(byte, 0xE0, 0xFC);
    if (lead && in + 1 >= length && !last) break;  // completed by the next piece
    if (lead && in + 1 < length && inRange(source[in + 1], 0x40, 0xFC)) {
      const int row = byte <= 0x9F ? byte - 0x81 : byte - 0xE0 + 0x1F;
      const uint32_t form = forms[row * kCp932Trails + (source[in + 1] - 0x40)];
      if (form != 0) {
        // Four bytes are stored and the form's length kept: the room holds eight.
        const uint32_t bytes = form & 0xFFFFFF;
        std::memcpy(destination + out, &bytes, 4);
        out += static_cast<int32_t>(form >> 24);
        in += 2;
        continue;
      }
    }
    // No character: the byte alone is replaced and reading goes on after it, as the
    // system's converter reads.
    if (!replaceBadByte(decoder, in, destination, &out)) {
      *used = in;
      return -1;
    }
    ++in;
  }
  *used = in;
  return out;
}

std::size_t utf8Cut(const char* text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

int32_t writeUtf8(uint32_t point, unsigned char* out) {
  if (point < 0x80) {
    out[0] = static_cast<unsigned char>(point);
    return 1;
  }
  if (point < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (point >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    return 2;
  }
  if (point < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (point >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (point >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((point >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (point & 0x3F));
  return 4;
}

bool platformConvertsCodes() {
  void* const converter = openCodeConverter("UTF-8", "CP932");
  closeCodeConverter(converter);
  return converter != nullptr;
}

}  // namespace mq
