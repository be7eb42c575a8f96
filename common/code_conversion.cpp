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

// Combinations used in the table.
constexpr unsigned char No = 0;
constexpr unsigned char Jb = JisByte;
constexpr unsigned char Jt = JisByte | SjisTrail;
constexpr unsigned char Ji = Jt | KanjiInFinal;                  // @
constexpr unsigned char Jd = Jt | KanjiInFinal | KanjiOutFinal;  // B
constexpr unsigned char Jo = Jt | KanjiOutFinal;                 // H, J
constexpr unsigned char St = SjisTrail;
constexpr unsigned char Sl = SjisLead | SjisTrail;
constexpr unsigned char Ek = SjisTrail | EucLead | EucTrail;             // also half-width katakana
constexpr unsigned char Dl = SjisLead | SjisTrail | EucLead | EucTrail;  // first byte of either code
constexpr unsigned char Eu = EucLead | EucTrail;

// clang-format off
constexpr unsigned char ByteClassTable[256] = {
    No, No, No, No, No, No, No, No, No, No, No, No, No, No, No, No,  // 00-0F
    No, No, No, No, No, No, No, No, No, No, No, No, No, No, No, No,  // 10-1F
    No, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb,  // 20-2F
    Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb, Jb,  // 30-3F
    Ji, Jt, Jd, Jt, Jt, Jt, Jt, Jt, Jo, Jt, Jo, Jt, Jt, Jt, Jt, Jt,  // 40-4F
    Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt,  // 50-5F
    Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt,  // 60-6F
    Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, Jt, No,  // 70-7F
    St, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl,  // 80-8F
    Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl, Sl,  // 90-9F
    St, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek,  // A0-AF
    Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek,  // B0-BF
    Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek,  // C0-CF
    Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek, Ek,  // D0-DF
    Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl,  // E0-EF
    Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Dl, Eu, Eu, No,  // F0-FF
};
// clang-format on

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kDollar = 0x24;
constexpr unsigned char kParen = 0x28;
constexpr unsigned char kLeadFlags = SjisLead | EucLead;

inline void PutKanjiIn(unsigned char*& out, CodeKind target) {
  if (target != CodeKind::Jis) return;
  out[0] = kEsc;
  out[1] = kDollar;
  out[2] = 'B';
  out += 3;
}

inline void PutKanjiOut(unsigned char*& out, CodeKind target) {
  if (target != CodeKind::Jis) return;
  out[0] = kEsc;
  out[1] = kParen;
  out[2] = 'B';
  out += 3;
}

// One two-byte character given as JIS row and cell. Shift-JIS first bytes 0xF0-0xFC (the
// user-defined area) give rows past 0x7E; they are written as computed, so that a Shift-JIS
// target gives them back byte for byte.
inline void PutPair(unsigned char*& out, CodeKind target, unsigned int row, unsigned int cell) {
  switch (target) {
    case CodeKind::Jis:
    case CodeKind::Euc: {
      const unsigned int high = target == CodeKind::Euc ? 0x80 : 0x00;
      out[0] = static_cast<unsigned char>(row | high);
      out[1] = static_cast<unsigned char>(cell | high);
      break;
    }
    case CodeKind::Sjis: {
      unsigned int second = cell + ((row & 1) != 0 ? 0x1F : 0x7D);
      if (second >= 0x7F) ++second;
      unsigned int first = ((row - 0x21) >> 1) + 0x81;
      if (first > 0x9F) first += 0x40;
      out[0] = static_cast<unsigned char>(first);
      out[1] = static_cast<unsigned char>(second);
      break;
    }
    default:
      return;
  }
  out += 2;
}

// Standard Shift-JIS to JIS X 0208 arithmetic.
inline void sjisToRowCell(unsigned int first, unsigned int second, unsigned int* row, unsigned int* cell) {
  *row = 2 * (first - (first <= 0x9F ? 0x71 : 0xB1)) + 1;
  const unsigned int trail = second >= 0x80 ? second - 1 : second;
  if (trail >= 0x9E) {
    *cell = trail - 0x7D;
    ++*row;
  } else {
    *cell = trail - 0x1F;
  }
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
  const CodeKind target = state->target;
  PendingState pending = state->pending;
  unsigned char held = state->heldByte;
  bool inputKanji = state->inputKanji;
  bool outputKanji = state->outputKanji;
  CodeKind preferredDouble = state->preferredDouble;

  const unsigned char* in = source;
  const unsigned char* const end = source + length;
  unsigned char* out = destination;
  while (in < end) {
    unsigned char b = *in++;
    unsigned char c = ByteClassTable[b];

    // Fast path: with nothing pending and one-byte output, every byte that is neither ESC nor
    // a first byte is copied as it is, whichever step would handle it.
    if (pending == PendingState::Ground && !outputKanji) {
      while ((c & kLeadFlags) == 0 && b != kEsc) {
        *out++ = b;
        if (in == end) goto done;
        b = *in++;
        c = ByteClassTable[b];
      }
    }

    // Fast path for Shift-JIS text read into Shift-JIS: once Shift-JIS is the preferred
    // reading, a first byte with a valid second byte comes out as the same two bytes, and
    // every byte that starts nothing comes out as itself.
    if (target == CodeKind::Sjis && pending == PendingState::Ground && !inputKanji &&
        preferredDouble == CodeKind::Sjis) {
      const unsigned char* at = in - 1;  // the byte b
      for (;;) {
        // Eight bytes below 0x80 with no ESC among them are copied at once.
        while (end - at >= 8) {
          uint64_t word;
          std::memcpy(&word, at, 8);
          const uint64_t esc = word ^ 0x1B1B1B1B1B1B1B1Bull;
          if (((word | ((esc - 0x0101010101010101ull) & ~esc)) & 0x8080808080808080ull) != 0) break;
          std::memcpy(out, &word, 8);  // from the word read: the output may be the input itself
          out += 8;
          at += 8;
          outputKanji = false;
        }
        if (at == end) goto done;
        b = *at;
        c = ByteClassTable[b];
        if (b == kEsc || (c & kLeadFlags) == EucLead) break;
        if (c & SjisLead) {
          if (at + 1 == end || (ByteClassTable[at[1]] & SjisTrail) == 0) break;
          out[0] = b;
          out[1] = at[1];
          out += 2;
          at += 2;
          outputKanji = true;
        } else {
          *out++ = b;
          ++at;
          outputKanji = false;
        }
      }
      in = at + 1;
    }

    if (b == kEsc) {  // drops whatever was pending, a held byte included
      pending = PendingState::AfterEsc;
      continue;
    }

    switch (pending) {
      case PendingState::AfterEsc:
        if (b == kDollar) {
          pending = PendingState::AfterEscDollar;
          continue;
        }
        if (b == kParen) {
          pending = PendingState::AfterEscParen;
          continue;
        }
        // Not a designation: ESC and the byte pass through, in one-byte mode.
        pending = PendingState::Ground;
        if (outputKanji && !inputKanji) {
          PutKanjiOut(out, target);
          outputKanji = false;
        }
        out[0] = kEsc;
        out[1] = b;
        out += 2;
        continue;
      case PendingState::AfterEscDollar:
        if (c & KanjiInFinal) {
          inputKanji = true;
          outputKanji = true;
          PutKanjiIn(out, target);
          pending = PendingState::Ground;
          continue;
        }
        break;  // the designation stays open until its final byte or another ESC
      case PendingState::AfterEscParen:
        if (c & KanjiOutFinal) {
          inputKanji = false;
          outputKanji = false;
          PutKanjiOut(out, target);
          pending = PendingState::Ground;
          continue;
        }
        break;
      case PendingState::SjisLeadHeld:
        pending = PendingState::Ground;
        if (c & SjisTrail) {
          unsigned int row = 0;
          unsigned int cell = 0;
          sjisToRowCell(held, b, &row, &cell);
          if (!outputKanji) {
            PutKanjiIn(out, target);
            outputKanji = true;
          }
          PutPair(out, target, row, cell);
          preferredDouble = CodeKind::Sjis;
          continue;
        }
        break;  // the first byte is dropped, b is read afresh
      case PendingState::EucLeadHeld:
        pending = PendingState::Ground;
        if (c & EucTrail) {
          if (!outputKanji) {
            PutKanjiIn(out, target);
            outputKanji = true;
          }
          PutPair(out, target, held & 0x7Fu, b & 0x7Fu);
          preferredDouble = CodeKind::Euc;
          continue;
        }
        break;
      default:
        break;
    }

    if (c & JisByte) {
      if (inputKanji) {
        if (pending == PendingState::JisFirstHeld) {
          PutPair(out, target, held, b);
          pending = PendingState::Ground;
        } else {
          held = b;
          pending = PendingState::JisFirstHeld;
        }
      } else {
        if (outputKanji) {
          PutKanjiOut(out, target);
          outputKanji = false;
        }
        *out++ = b;
      }
      continue;
    }
    if (c & EucLead) {
      held = b;
      pending = (c & SjisLead) != 0 && preferredDouble == CodeKind::Sjis ? PendingState::SjisLeadHeld
                                                                         : PendingState::EucLeadHeld;
      continue;
    }
    if (c & SjisLead) {
      held = b;
      pending = PendingState::SjisLeadHeld;
      continue;
    }

    // Controls, space, 0x7F, 0x80, 0xA0, 0xFF. A JIS run goes on after a line feed when the
    // target is JIS; any other such byte ends the input's two-byte mode.
    if (b == kLineFeed && target == CodeKind::Jis && outputKanji) {
      PutKanjiOut(out, target);
      *out++ = b;
      PutKanjiIn(out, target);
      continue;
    }
    if (outputKanji) PutKanjiOut(out, target);
    inputKanji = false;
    outputKanji = false;
    *out++ = b;
  }

done:
  state->pending = pending;
  state->heldByte = held;
  state->inputKanji = inputKanji;
  state->outputKanji = outputKanji;
  state->preferredDouble = preferredDouble;
  return static_cast<int32_t>(out - destination);
}

int32_t finishConversion(ConversionState* state, unsigned char* destination) {
  unsigned char* out = destination;
  if (state->outputKanji) PutKanjiOut(out, state->target);
  startConversion(state, state->target);
  return static_cast<int32_t>(out - destination);
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
