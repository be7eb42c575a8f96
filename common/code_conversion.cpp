#include "common/code_conversion.h"

#include <cstring>

namespace mq {
namespace {

// Class flags of a byte; a byte may have several. 0x04 is free.
constexpr unsigned char KanjiInFinal = 0x01;   // completes ESC $ into two-byte mode
constexpr unsigned char KanjiOutFinal = 0x02;  // completes ESC ( into one-byte mode
constexpr unsigned char JisByte = 0x08;        // 0x21-0x7E
constexpr unsigned char SjisLead = 0x10;
constexpr unsigned char SjisTrail = 0x20;
constexpr unsigned char EucLead = 0x40;
constexpr unsigned char EucTrail = 0x80;

// The cells of the table. Each name spells its flags, one letter per place, x where the
// place is empty: first J (JisByte) or L (SjisLead); then T (SjisTrail); last E (EucLead
// and EucTrail, which always come together) or, for JIS bytes, the designation finals
// i (KanjiInFinal), o (KanjiOutFinal) or b (both).
constexpr unsigned char xxx = 0;
constexpr unsigned char Jxx = JisByte;
constexpr unsigned char JTx = JisByte | SjisTrail;
constexpr unsigned char JTi = JisByte | SjisTrail | KanjiInFinal;                  // @
constexpr unsigned char JTb = JisByte | SjisTrail | KanjiInFinal | KanjiOutFinal;  // B
constexpr unsigned char JTo = JisByte | SjisTrail | KanjiOutFinal;                 // H, J
constexpr unsigned char xTx = SjisTrail;
constexpr unsigned char LTx = SjisLead | SjisTrail;
constexpr unsigned char xTE = SjisTrail | EucLead | EucTrail;  // also the half-width katakana
constexpr unsigned char LTE = SjisLead | SjisTrail | EucLead | EucTrail;
constexpr unsigned char xxE = EucLead | EucTrail;

// clang-format off
constexpr unsigned char ByteClassTable[256] = {
    xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx,  // 00-0F controls
    xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx, xxx,  // 10-1F controls, ESC
    xxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx,  // 20-2F space, $ (
    Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx, Jxx,  // 30-3F digits
    JTi, JTx, JTb, JTx, JTx, JTx, JTx, JTx, JTo, JTx, JTo, JTx, JTx, JTx, JTx, JTx,  // 40-4F @ B H J
    JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx,  // 50-5F
    JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx,  // 60-6F
    JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, JTx, xxx,  // 70-7F DEL
    xTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx,  // 80-8F Shift-JIS first bytes
    LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx, LTx,  // 90-9F
    xTx, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE,  // A0-AF EUC bytes
    xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE,  // B0-BF
    xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE,  // C0-CF
    xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE, xTE,  // D0-DF
    LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE,  // E0-EF first bytes of either
    LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, LTE, xxE, xxE, xxx,  // F0-FF
};
// clang-format on

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kDollar = 0x24;
constexpr unsigned char kParen = 0x28;
constexpr unsigned char kLeadFlags = SjisLead | EucLead;
constexpr unsigned char kLastSjisOnlyLead = 0x9F;  // above it a first byte may be EUC too

// A conversion under way: the caller's state held in locals for one piece, and where the
// next output byte goes.
struct Conversion {
  CodeKind target;
  PendingState pending;
  unsigned char held;
  bool inputKanji;
  bool outputKanji;
  CodeKind preferredDouble;
  unsigned char* out;
};

Conversion load(const ConversionState& state, unsigned char* destination) {
  return Conversion{state.target,      state.pending,         state.heldByte, state.inputKanji,
                    state.outputKanji, state.preferredDouble, destination};
}

void store(const Conversion& c, ConversionState* state) {
  state->pending = c.pending;
  state->heldByte = c.held;
  state->inputKanji = c.inputKanji;
  state->outputKanji = c.outputKanji;
  state->preferredDouble = c.preferredDouble;
}

// ---- emitters

inline void putKanjiIn(Conversion& c) {
  if (c.target != CodeKind::Jis) return;
  c.out[0] = kEsc;
  c.out[1] = kDollar;
  c.out[2] = 'B';
  c.out += 3;
}

inline void putKanjiOut(Conversion& c) {
  if (c.target != CodeKind::Jis) return;
  c.out[0] = kEsc;
  c.out[1] = kParen;
  c.out[2] = 'B';
  c.out += 3;
}

inline void putByte(Conversion& c, unsigned char b) { *c.out++ = b; }

// One two-byte character given as JIS row and cell. Shift-JIS first bytes 0xF0-0xFC (the
// user-defined area) give rows past 0x7E; they are written as computed, so that a Shift-JIS
// target gives them back byte for byte.
inline void putPair(Conversion& c, unsigned int row, unsigned int cell) {
  switch (c.target) {
    case CodeKind::Jis:
    case CodeKind::Euc: {
      const unsigned int high = c.target == CodeKind::Euc ? 0x80 : 0x00;
      c.out[0] = static_cast<unsigned char>(row | high);
      c.out[1] = static_cast<unsigned char>(cell | high);
      break;
    }
    case CodeKind::Sjis: {
      unsigned int second = cell + ((row & 1) != 0 ? 0x1F : 0x7D);
      if (second >= 0x7F) ++second;
      unsigned int first = ((row - 0x21) >> 1) + 0x81;
      if (first > 0x9F) first += 0x40;
      c.out[0] = static_cast<unsigned char>(first);
      c.out[1] = static_cast<unsigned char>(second);
      break;
    }
    default:
      return;
  }
  c.out += 2;
}

// ---- the steps shared by the runs and the state machine

// A character read from Shift-JIS or EUC opens the output's two-byte mode if it is closed.
inline void openOutputKanji(Conversion& c) {
  if (c.outputKanji) return;
  putKanjiIn(c);
  c.outputKanji = true;
}

struct RowCell {
  unsigned int row;
  unsigned int cell;
};

// Standard Shift-JIS to JIS X 0208 arithmetic. The choices that hang on the second byte are
// made without branches: they change from character to character, and a mispredicted branch
// would cost more than the arithmetic.
inline RowCell sjisToRowCell(unsigned int first, unsigned int second) {
  const unsigned int evenRow = second >= 0x9F ? 1u : 0u;  // second byte past 0x9E once 0x7F is skipped
  const unsigned int row = 2 * (first - (first <= kLastSjisOnlyLead ? 0x71u : 0xB1u)) + 1 + evenRow;
  const unsigned int cell = second - (second >= 0x80 ? 1u : 0u) - (evenRow != 0 ? 0x7Du : 0x1Fu);
  return RowCell{row, cell};
}

inline void putSjisPair(Conversion& c, unsigned int first, unsigned int second) {
  const RowCell pair = sjisToRowCell(first, second);
  openOutputKanji(c);
  putPair(c, pair.row, pair.cell);
  c.preferredDouble = CodeKind::Sjis;
}

inline void putEucPair(Conversion& c, unsigned int first, unsigned int second) {
  openOutputKanji(c);
  putPair(c, first & 0x7Fu, second & 0x7Fu);
  c.preferredDouble = CodeKind::Euc;
}

// A byte 0x21-0x7E read in one-byte mode is text: it closes the output's two-byte mode.
inline void putOneByteText(Conversion& c, unsigned char b) {
  if (c.outputKanji) {
    putKanjiOut(c);
    c.outputKanji = false;
  }
  putByte(c, b);
}

// Controls, space, 0x7F, 0x80, 0xA0, 0xFF. A JIS run goes on after a line feed when the
// target is JIS; any other such byte ends the input's two-byte mode.
inline void putOtherByte(Conversion& c, unsigned char b) {
  if (b == kLineFeed && c.target == CodeKind::Jis && c.outputKanji) {
    putKanjiOut(c);
    putByte(c, b);
    putKanjiIn(c);
    return;
  }
  if (c.outputKanji) putKanjiOut(c);
  c.inputKanji = false;
  c.outputKanji = false;
  putByte(c, b);
}

// ---- the byte-wise state machine

// The byte after ESC: the start of a designation, or an escape that passes through as it
// stands, in one-byte mode.
inline void takeAfterEsc(Conversion& c, unsigned char b) {
  if (b == kDollar) {
    c.pending = PendingState::AfterEscDollar;
    return;
  }
  if (b == kParen) {
    c.pending = PendingState::AfterEscParen;
    return;
  }
  c.pending = PendingState::Ground;
  if (c.outputKanji && !c.inputKanji) {
    putKanjiOut(c);
    c.outputKanji = false;
  }
  putByte(c, kEsc);
  putByte(c, b);
}

// Completes what the pending state waits for, if b does that; false when b is to be read
// afresh. An open designation stays open until its final byte or another ESC; a held first
// byte without its second is dropped.
inline bool completePending(Conversion& c, unsigned char b, unsigned char flags) {
  switch (c.pending) {
    case PendingState::AfterEscDollar:
      if ((flags & KanjiInFinal) == 0) return false;
      c.inputKanji = true;
      c.outputKanji = true;
      putKanjiIn(c);
      c.pending = PendingState::Ground;
      return true;
    case PendingState::AfterEscParen:
      if ((flags & KanjiOutFinal) == 0) return false;
      c.inputKanji = false;
      c.outputKanji = false;
      putKanjiOut(c);
      c.pending = PendingState::Ground;
      return true;
    case PendingState::SjisLeadHeld:
      c.pending = PendingState::Ground;
      if ((flags & SjisTrail) == 0) return false;
      putSjisPair(c, c.held, b);
      return true;
    case PendingState::EucLeadHeld:
      c.pending = PendingState::Ground;
      if ((flags & EucTrail) == 0) return false;
      putEucPair(c, c.held, b);
      return true;
    default:
      return false;
  }
}

// A byte read afresh: text or half a JIS pair, the first byte of a Shift-JIS or EUC
// character, or a byte that starts nothing.
inline void takeFreshByte(Conversion& c, unsigned char b, unsigned char flags) {
  if (flags & JisByte) {
    if (!c.inputKanji) {
      putOneByteText(c, b);
    } else if (c.pending == PendingState::JisFirstHeld) {
      putPair(c, c.held, b);
      c.pending = PendingState::Ground;
    } else {
      c.held = b;
      c.pending = PendingState::JisFirstHeld;
    }
    return;
  }
  if (flags & kLeadFlags) {
    // A first byte 0xE0-0xFC is read in the code of the last Shift-JIS or EUC pair.
    const bool sjis = (flags & EucLead) == 0 || ((flags & SjisLead) != 0 && c.preferredDouble == CodeKind::Sjis);
    c.held = b;
    c.pending = sjis ? PendingState::SjisLeadHeld : PendingState::EucLeadHeld;
    return;
  }
  putOtherByte(c, b);
}

inline void convertByte(Conversion& c, unsigned char b) {
  if (b == kEsc) {  // drops whatever was pending, a held byte included
    c.pending = PendingState::AfterEsc;
    return;
  }
  if (c.pending == PendingState::AfterEsc) {
    takeAfterEsc(c, b);
    return;
  }
  const unsigned char flags = ByteClassTable[b];
  if (completePending(c, b, flags)) return;
  takeFreshByte(c, b, flags);
}

// ---- the runs

// Bytes that start nothing, with nothing pending and the input in one-byte mode: each comes
// out as itself and leaves both modes closed, whichever step would take it. The caller makes
// sure the first byte is such a byte and that no JIS two-byte run is open in the output.
inline const unsigned char* copyPlainRun(Conversion& c, const unsigned char* in, const unsigned char* end) {
  unsigned char* out = c.out;
  // Eight bytes below 0x80 with no ESC among them are copied at once.
  while (end - in >= 8) {
    uint64_t word;
    std::memcpy(&word, in, 8);
    const uint64_t esc = word ^ 0x1B1B1B1B1B1B1B1Bull;
    if (((word | ((esc - 0x0101010101010101ull) & ~esc)) & 0x8080808080808080ull) != 0) break;
    std::memcpy(out, &word, 8);  // from the word read: the output may be the input itself
    out += 8;
    in += 8;
  }
  while (in < end && *in != kEsc && (ByteClassTable[*in] & kLeadFlags) == 0) *out++ = *in++;
  c.out = out;
  c.outputKanji = false;
  return in;
}

// Shift-JIS pairs one after the other, the bulk of Japanese text; the caller has seen that
// the first pair is one. Each pair would open or keep the output's two-byte mode and make
// Shift-JIS the reading of first bytes 0xE0-0xFC, so that is done once and the loop only
// converts bytes. The target is JIS, EUC or Shift-JIS.
inline const unsigned char* convertPairs(Conversion& c, const unsigned char* in, const unsigned char* end) {
  openOutputKanji(c);
  c.preferredDouble = CodeKind::Sjis;
  unsigned char* out = c.out;
  const unsigned int high = c.target == CodeKind::Euc ? 0x80 : 0x00;
  const bool keepPairs = c.target == CodeKind::Sjis;  // the arithmetic gives every pair back as it is
  do {
    if (keepPairs) {
      out[0] = in[0];
      out[1] = in[1];
    } else {
      const RowCell pair = sjisToRowCell(in[0], in[1]);
      out[0] = static_cast<unsigned char>(pair.row | high);
      out[1] = static_cast<unsigned char>(pair.cell | high);
    }
    out += 2;
    in += 2;
  } while (end - in >= 2 && (ByteClassTable[in[0]] & SjisLead) != 0 && (ByteClassTable[in[1]] & SjisTrail) != 0);
  c.out = out;
  return in;
}

// Shift-JIS pairs and the bytes between them that start nothing, with nothing pending and the
// input in one-byte mode. Stops before what needs the state machine: ESC, an EUC first byte,
// a first byte without its second, the end of the piece.
inline const unsigned char* convertSjisPairRun(Conversion& c, const unsigned char* in, const unsigned char* end) {
  while (in < end) {
    const unsigned char b = *in;
    const unsigned char flags = ByteClassTable[b];
    if (flags & kLeadFlags) {
      const bool sjis = b <= kLastSjisOnlyLead || ((flags & SjisLead) != 0 && c.preferredDouble == CodeKind::Sjis);
      if (!sjis || end - in < 2 || (ByteClassTable[in[1]] & SjisTrail) == 0) break;
      in = convertPairs(c, in, end);
    } else if (b == kEsc) {
      break;
    } else if (c.outputKanji && c.target == CodeKind::Jis) {
      // The byte that closes (or, a line feed, interrupts) a run of pairs in the output.
      if (flags & JisByte) {
        putOneByteText(c, b);
      } else {
        putOtherByte(c, b);
      }
      ++in;
    } else {
      in = copyPlainRun(c, in, end);
    }
  }
  return in;
}

inline bool isKnownTarget(CodeKind target) {
  return target == CodeKind::Jis || target == CodeKind::Euc || target == CodeKind::Sjis;
}

}  // namespace

void startConversion(ConversionState* state, CodeKind target) {
  state->target = target;
  state->pending = PendingState::Ground;
  state->heldByte = 0;
  state->inputKanji = false;
  state->outputKanji = false;
  state->preferredDouble = CodeKind::Euc;
}

int32_t convertPiece(ConversionState* state, unsigned char* destination, const unsigned char* source, int32_t length) {
  if (length <= 0) return 0;
  // A target outside the three writes no pairs; the runs are not made for it.
  if (!isKnownTarget(state->target)) return convertPieceByteWise(state, destination, source, length);
  Conversion c = load(*state, destination);
  const unsigned char* in = source;
  const unsigned char* const end = source + length;
  while (in < end) {
    if (c.pending == PendingState::Ground && !c.inputKanji) {
      in = convertSjisPairRun(c, in, end);
      if (in == end) break;
    }
    convertByte(c, *in++);
  }
  store(c, state);
  return static_cast<int32_t>(c.out - destination);
}

int32_t convertPieceByteWise(ConversionState* state, unsigned char* destination, const unsigned char* source,
                             int32_t length) {
  if (length <= 0) return 0;
  Conversion c = load(*state, destination);
  for (int32_t i = 0; i < length; ++i) convertByte(c, source[i]);
  store(c, state);
  return static_cast<int32_t>(c.out - destination);
}

int32_t finishConversion(ConversionState* state, unsigned char* destination) {
  Conversion c = load(*state, destination);
  if (c.outputKanji) putKanjiOut(c);
  startConversion(state, state->target);
  return static_cast<int32_t>(c.out - destination);
}

int64_t conversionCapacity(int32_t length, CodeKind target) {
  const int64_t counted = length > 0 ? length : 0;
  return target == CodeKind::Jis ? 7 * counted + 3 : counted + 1;
}

int32_t ConvertCode(unsigned char* destination, const unsigned char* source, int32_t length, CodeKind target) {
  ConversionState state;
  startConversion(&state, target);
  const int32_t written = convertPiece(&state, destination, source, length);
  return written + finishConversion(&state, destination + written);
}

}  // namespace mq
