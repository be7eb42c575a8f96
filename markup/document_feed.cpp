#include "markup/parse_run.h"
#include "markup/document_feed.h"

#include <cstring>
#include <thread>

#include "common/message_log.h"
#include "common/texts.h"
#include "common/work_areas.h"
#include "markup/document_code.h"

namespace mq {

namespace {

constexpr unsigned char kEsc = 0x1B;
// The start that holds a byte-order mark, an XML declaration and a <meta> charset.
constexpr int32_t kHeadSize = 1 << 16;

// The end of the longest start of the bytes that ends after a byte below 0x40: no such byte is
// part of a character of more than one byte in UTF-8, EUC-JP or Shift-JIS, so each code's
// validity over the pieces cut there is its validity over the whole.
int32_t validityCut(const unsigned char* bytes, int32_t length) {
  for (int32_t i = length; i > 0; --i) {
    if (bytes[i - 1] < 0x40) return i;
  }
  return 0;
}

bool hasHighByte(const unsigned char* bytes, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    if (bytes[i] >= 0x80) return true;
  }
  return false;
}

// What the validity of each code over the pieces so far says.
struct Validity {
  bool sevenBit = true;
  bool utf8 = true;
  bool euc = true;
  bool cp932 = true;
  bool escapes = false;

  // A piece of at least `inTwo` bytes is checked in two halves at once, the second on a thread
  // of its own; the halves are cut after a byte below 0x40, as the pieces are.
  void take(const unsigned char* bytes, int32_t length, int32_t inTwo) {
    if (!escapes) escapes = std::memchr(bytes, kEsc, static_cast<std::size_t>(length)) != nullptr;
    // ASCII bytes are characters of their own in every code.
    if (!hasHighByte(bytes, length)) return;
    sevenBit = false;
    const int32_t half = length >= inTwo ? validityCut(bytes, length / 2) : 0;
    if (half == 0) {
      check(bytes, length);
      return;
    }
    Validity second = *this;
    std::thread other([&second, bytes, half, length] { second.check(bytes + half, length - half); });
    check(bytes, half);
    other.join();
    utf8 = utf8 && second.utf8;
    euc = euc && second.euc;
    cp932 = cp932 && second.cp932;
  }

  void check(const unsigned char* bytes, int32_t length) {
    if (utf8) utf8 = isValidUtf8(bytes, length);
    if (euc) euc = isValidEucJp(bytes, length);
    if (cp932) cp932 = isValidCp932(bytes, length);
  }
};

// An XML declaration at the start that does not end within the bytes read.
bool opensUnclosedDeclaration(const unsigned char* head, int32_t size) {
  const char word[] = "<?xml";
  for (int32_t i = 0; i < 5; ++i) {
    const unsigned char byte = i < size ? head[i] : 0;
    const unsigned char lower = byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 0x20) : byte;
    if (lower != static_cast<unsigned char>(word[i])) return false;
  }
  for (int32_t i = 0; i + 1 < size; ++i) {
    if (head[i] == '?' && head[i + 1] == '>') return false;
  }
  return true;
}

int32_t readUpTo(ByteSource& source, unsigned char* target, int32_t room, bool* ended) {
  int32_t taken = 0;
  while (taken < room && !*ended) {
    const int32_t got = source.read(target + taken, room - taken);
    if (got < 0) return -1;
    *ended = got == 0;
    taken += got;
  }
  return taken;
}

}  // namespace

int decideCodeInPieces(ParseRun& run, ByteSource& source, InputKind kind, int32_t piece, PieceDecision* found) {
  *found = PieceDecision{true, CodeDecision{WholeCode::Mixture, DocumentSource{SourceCode::Cp932, {}, 0}}, false};
  unsigned char* buffer = nullptr;
  int32_t capacity = piece > kHeadSize ? piece : kHeadSize;
  if (takeArea(run, &buffer, capacity + 16, kAreaWork) != 0) return -2;
  bool ended = false;
  int32_t used = readUpTo(source, buffer, kHeadSize, &ended);
  int result = used < 0 ? -1 : 0;
  SourceCode marked = SourceCode::Utf8;
  const int32_t mark = result == 0 ? byteOrderMarkOf(buffer, used, &marked) : 0;
  DocumentSource named{SourceCode::Cp932, {}, 0};
  const bool declared = result == 0 && mark == 0 && findDeclaredCode(buffer, used, kind, &named);
  if (mark > 0) {
    found->decision = CodeDecision{WholeCode::Unicode, DocumentSource{marked, {}, mark}};
  } else if (result == 0 && ((!ended && opensUnclosedDeclaration(buffer, used)) ||
                             (declared && named.code == SourceCode::Labelled))) {
    found->known = false;
  }
  if (result != 0 || mark > 0 || !found->known) {
    releaseArea(&buffer);
    return result;
  }
  Validity validity;
  for (;;) {
    int32_t cut = ended ? used : validityCut(buffer, used < piece ? used : piece);
    if (cut == 0) cut = validityCut(buffer, used);
    validity.take(buffer, cut, run.pieces.checkedInTwo);
    std::memmove(buffer, buffer + cut, static_cast<std::size_t>(used - cut));
    used -= cut;
    if (ended) break;
    if (cut > 0 && used >= piece) continue;
    if (used == capacity) {
      // A piece without a byte below 0x40: read on until one comes.
      unsigned char* larger = nullptr;
      if (capacity > kLargestAreaSize / 2 - 16 || allocZeroed(&larger, 2L * capacity + 16) != 0) {
        setMessage(run, kCodeGrowFailed, kFmtGrowFailed, kAreaWork, 2LL * capacity + 16);
        result = -2;
        break;
      }
      std::memcpy(larger, buffer, static_cast<std::size_t>(used));
      releaseArea(&buffer);
      buffer = larger;
      capacity *= 2;
    }
    const int32_t got = readUpTo(source, buffer + used, capacity - used, &ended);
    if (got < 0) {
      result = -1;
      break;
    }
    used += got;
  }
  releaseArea(&buffer);
  if (result != 0) return result;
  const DocumentSource none{SourceCode::Cp932, {}, 0};
  found->escapes = validity.escapes;
  found->utf8 = validity.utf8;
  bool namedValid = false;
  if (declared) {
    switch (named.code) {
      case SourceCode::Cp932: namedValid = validity.cp932; break;
      case SourceCode::EucJp: namedValid = validity.euc; break;
      case SourceCode::Jis: namedValid = validity.sevenBit; break;
      case SourceCode::Utf8: namedValid = validity.utf8; break;
      default: namedValid = false; break;
    }
  }
  if (!validity.sevenBit && validity.utf8) {
    found->decision = CodeDecision{WholeCode::Unicode, DocumentSource{SourceCode::Utf8, {}, 0}};
  } else if (namedValid) {
    found->decision = decisionFor(named);
  } else if (validity.sevenBit) {
    found->decision = CodeDecision{WholeCode::SevenBit, none};
  } else if (validity.euc) {
    found->decision = CodeDecision{WholeCode::Euc, none};
  } else if (validity.cp932) {
    found->decision = CodeDecision{WholeCode::Sjis, none};
  }
  return 0;
}

int findCodeInPieces(ParseRun& run, ByteSource& source, InputKind kind, DocumentCode declared, int32_t piece,
                     DocumentSource* found, bool* known) {
  *known = true;
  unsigned char* head = nullptr;
  if (takeArea(run, &head, kHeadSize + 16, kAreaWork) != 0) return -2;
  bool ended = false;
  const int32_t used = readUpTo(source, head, kHeadSize, &ended);
  // A declaration that runs on past the head may name its code further on, or cut its label.
  *known = used >= 0 && !(declared == DocumentCode::Detect && !ended && opensUnclosedDeclaration(head, used));
  const bool shown = *known && findShownCode(head, used, kind, declared, found);
  releaseArea(&head);
  if (used < 0) return -1;
  if (shown || !*known) return 0;
  if (!source.rewind()) return -1;
  PieceDecision survey{};
  const int surveyed = decideCodeInPieces(run, source, kind, piece, &survey);
  if (surveyed != 0) return surveyed;
  // The head showed neither a mark nor a label, so the survey read the whole document.
  *known = survey.known;
  found->code = survey.utf8 ? SourceCode::Utf8 : SourceCode::Cp932;
  return 0;
}

bool readsInPieces(const CodeDecision& decision, bool escapes, TextCode working) {
  switch (decision.code) {
    case WholeCode::Mixture:
      return false;
    case WholeCode::SevenBit:
      return !(escapes && working == TextCode::Utf8);
    case WholeCode::Unicode:
      return decision.source.code != SourceCode::Jis;
    default:
      return true;
  }
}

DocumentFeed::DocumentFeed(ParseRun& run, ByteSource& source, const CodeDecision& decision, bool escapes,
                           TextCode working, const char* name)
    : run_(run), source_(source), decision_(decision), working_(working), name_(name) {
  const bool utf8 = working == TextCode::Utf8;
  switch (decision.code) {
    case WholeCode::Sjis:
      way_ = utf8 ? Way::Decoded : Way::AsItStands;
      decision_.source = DocumentSource{SourceCode::Cp932, {}, 0};
      break;
    case WholeCode::SevenBit:
      way_ = escapes ? Way::Known : Way::AsItStands;
      knownFrom_ = CodeKind::Jis;
      break;
    case WholeCode::Euc:
      way_ = utf8 ? Way::Decoded : Way::Known;
      knownFrom_ = CodeKind::Euc;
      decision_.source = DocumentSource{SourceCode::EucJp, {}, 0};
      break;
    default:
      way_ = Way::Decoded;
      skip_ = decision.source.skip;
      break;
  }
}

DocumentFeed::~DocumentFeed() {
  if (decoderOpen_) closeDecoder(&decoder_);
  if (encoderOpen_) closeEncoder(&encoder_);
  releaseArea(&raw_);
  releaseArea(&middle_);
  releaseArea(&out_);
}

int DocumentFeed::open() {
  if (way_ == Way::AsItStands) return 0;
  const bool encoding = way_ == Way::Decoded && working_ == TextCode::Sjis;
  const int32_t outSize = way_ == Way::Known
                              ? static_cast<int32_t>(knownConversionCapacity(pieceSize() + 8, CodeKind::Sjis))
                              : 3 * (pieceSize() + 8) + 64;
  if (takeArea(run_, &raw_, pieceSize() + 8 + 16, kAreaConversion) != 0 ||
      takeArea(run_, &out_, outSize + 16, kAreaConversion) != 0 ||
      (encoding && takeArea(run_, &middle_, 3 * (pieceSize() + 8) + 64 + 16, kAreaConversion) != 0)) {
    return -1;
  }
  if (way_ == Way::Known) {
    startKnownConversion(&known_, knownFrom_, CodeKind::Sjis);
    return 0;
  }
  decoderOpen_ = openDecoder(&decoder_, decision_.source.code, decision_.source.label, false) == 0;
  encoderOpen_ = encoding && openEncoder(&encoder_) == 0;
  if (!decoderOpen_ || (encoding && !encoderOpen_)) {
    // The system has no converter for this code: the declared code cannot be read here.
    setMessage(run_, kCodeParameterError, kFmtParameterError, "CODE");
    return -1;
  }
  return 0;
}

int64_t DocumentFeed::replaced() const {
  if (way_ == Way::Known) return known_.replaced;
  if (way_ == Way::Decoded) return working_ == TextCode::Utf8 ? decoder_.replaced : encoder_.replaced;
  return 0;
}

int DocumentFeed::fill() {
  // The bytes a cut character left stay before the piece: the room past them is never none,
  // so that a read of nothing is the end.
  const int32_t got = source_.read(raw_ + rawUsed_, pieceSize() + 8 - rawUsed_);
  if (got < 0) {
    setMessage(run_, kCodeReadFailed, kFmtReadFailed, name_);
    return -1;
  }
  const bool last = got == 0;
  rawUsed_ += got;
  if (skip_ > 0) {
    const int32_t passed = skip_ < rawUsed_ ? skip_ : rawUsed_;
    std::memmove(raw_, raw_ + passed, static_cast<std::size_t>(rawUsed_ - passed));
    rawUsed_ -= passed;
    skip_ -= passed;
  }
  outAt_ = 0;
  if (way_ == Way::Known) {
    outUsed_ = convertKnownPiece(&known_, out_, raw_, rawUsed_);
    rawUsed_ = 0;
    if (last) outUsed_ += finishKnownConversion(&known_, out_ + outUsed_);
    ended_ = last;
    return 0;
  }
  const bool encoding = working_ == TextCode::Sjis;
  int32_t used = 0;
  const int32_t decoded = decodePiece(&decoder_, raw_, rawUsed_, last, encoding ? middle_ : out_, 3 * (pieceSize() + 8) + 64, &used);
  std::memmove(raw_, raw_ + used, static_cast<std::size_t>(rawUsed_ - used));
  rawUsed_ -= used;
  outUsed_ = encoding ? encodeCp932(&encoder_, middle_, decoded, out_) : decoded;
  // At the end everything left has been read, or can never be.
  ended_ = last && (rawUsed_ == 0 || used == 0);
  return 0;
}

int32_t DocumentFeed::pieceSize() const { return run_.pieces.piece; }

int32_t DocumentFeed::read(unsigned char* target, int32_t room) {
  if (way_ == Way::AsItStands) {
    const int32_t got = source_.read(target, room);
    if (got < 0) setMessage(run_, kCodeReadFailed, kFmtReadFailed, name_);
    return got;
  }
  while (outAt_ == outUsed_) {
    if (ended_) return 0;
    if (fill() != 0) return -1;
  }
  const int32_t count = outUsed_ - outAt_ < room ? outUsed_ - outAt_ : room;
  std::memcpy(target, out_ + outAt_, static_cast<std::size_t>(count));
  outAt_ += count;
  return count;
}

}  // namespace mq
