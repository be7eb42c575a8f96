// Documents read in pieces for the classic scanner, so that no document is held whole: the
// code is decided over the pieces as decideWholeCode decides it over the whole text, then the
// text is given to the scanner in the working code, converted piece by piece.
#pragma once

#include <cstdint>

#include "common/known_code_conversion.h"
#include "common/byte_source.h"
#include "common/settings.h"
#include "common/unicode_conversion.h"
#include "markup/code_decision.h"
#include "markup/scanner.h"

namespace mq {

struct ParseRun;

// The decision over the document's pieces, and whether it has an escape byte (JIS rather than
// ASCII). `known` is false when only the whole text can tell: the document names a code the
// system reads for it, or opens an XML declaration that does not end near its start. `utf8`:
// the whole document is valid UTF-8 (read when `known`, for a document without a mark).
struct PieceDecision {
  bool known;
  CodeDecision decision;
  bool escapes;
  bool utf8 = false;
};

// Reads the source to its end in pieces of `piece` bytes; 0, -1 when a read broke off, or -2
// with message 1011 when the survey's area cannot be had. The source is left at its end, or
// after its start when `known` is false.
int decideCodeInPieces(ParseRun& run, ByteSource& source, InputKind kind, int32_t piece, PieceDecision* found);

// The code the standard parser reads the document from, found over its pieces as
// findDocumentCode finds it over the whole text; *known is false when only the whole text can
// tell (an XML declaration not closed near the start). Results as decideCodeInPieces's; the
// source is left anywhere.
int findCodeInPieces(ParseRun& run, ByteSource& source, InputKind kind, DocumentCode declared, int32_t piece,
                     DocumentSource* found, bool* known);

// Whether a document of this source and code is read in pieces into the working code: every
// case but a mixture of codes and JIS read into UTF-8, which are converted whole.
bool readsInPieces(const CodeDecision& decision, bool escapes, TextCode working);

// The text of the document in the working code, for scanMarkup.
class DocumentFeed : public TextFeed {
 public:
  // `name` names the document in the message of a read that breaks off (1003).
  DocumentFeed(ParseRun& run, ByteSource& source, const CodeDecision& decision, bool escapes, TextCode working,
               const char* name);
  ~DocumentFeed() override;
  DocumentFeed(const DocumentFeed&) = delete;
  DocumentFeed& operator=(const DocumentFeed&) = delete;

  // Takes the feed's areas and opens its converters, from the source's first byte. 0, or -1
  // with message 1011 or, for a code the system cannot read, the parameter error of CODE.
  int open();
  int32_t read(unsigned char* target, int32_t room) override;
  // Characters replaced so far, as the whole conversion counts them.
  int64_t replaced() const;

 private:
  enum class Way { AsItStands, Known, Decoded };
  int fill();
  int32_t pieceSize() const;

  ParseRun& run_;
  ByteSource& source_;
  CodeDecision decision_;
  TextCode working_;
  const char* name_;
  Way way_ = Way::AsItStands;
  CodeKind knownFrom_ = CodeKind::Sjis;
  KnownConversionState known_{};
  Utf8Decoder decoder_{};
  Cp932Encoder encoder_{};
  bool decoderOpen_ = false;
  bool encoderOpen_ = false;
  bool ended_ = false;
  int32_t skip_ = 0;  // bytes of a mark still to pass
  unsigned char* raw_ = nullptr;  // the source's bytes, those the last piece left first
  int32_t rawUsed_ = 0;
  unsigned char* middle_ = nullptr;  // UTF-8 on its way to CP932
  unsigned char* out_ = nullptr;     // converted bytes not yet read
  int32_t outUsed_ = 0;
  int32_t outAt_ = 0;
};

}  // namespace mq
