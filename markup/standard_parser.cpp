#include "markup/parse_run.h"
#include "markup/standard_parser.h"

#include "common/message_log.h"
#include "common/texts.h"

#if MQ_HAVE_LIBXML2

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <cstring>

#include "common/text_helpers.h"
#include "common/unicode_conversion.h"
#include "common/work_areas.h"
#include "markup/document_code.h"
#include "markup/html_references.h"
#include "markup/standard_records.h"

#endif

namespace mq {

int refuseStandardParser(RunRecord& record, const char* setting) {
  setMessage(record, kCodeParameterError, kFmtParameterError, setting);
  return -1;
}

#if !MQ_HAVE_LIBXML2

bool standardParserAvailable() { return false; }

int parseStandardDocument(ParseRun& run, InputKind, DocumentCode, unsigned char*, int32_t, TextCode, int64_t*, DocumentSource*) {
  return refuseStandardParser(run, "PARSER=STANDARD");
}

int parseStandardPieces(ParseRun& run, InputKind, const DocumentSource&, ByteSource&, int32_t, TextCode, int64_t*, const char*) {
  return refuseStandardParser(run, "PARSER=STANDARD");
}

#else

namespace {

constexpr int32_t kDeepestNesting = 1024;
// Input bytes decoded and pushed at a time; their UTF-8 form takes at most three times as
// many bytes (a half-width katakana, or a bad byte replaced by U+FFFD).
constexpr int32_t kPieceSize = 1 << 18;
constexpr int32_t kChunkSize = 3 * kPieceSize + 64;
constexpr int kDetailSize = 320;

// The first error the parser reported, kept for the message when the parse fails.
struct ParserError {
  bool held = false;
  char text[kDetailSize] = {};  // UTF-8, as the parser wrote it
  long line = 0;
  long column = 0;
};

// The text of an open script or style element, which HTML keeps as written up to the
// element's own end tag: where its next text is to begin in the pushed bytes.
struct RawTextRun {
  bool followed = false;  // inside such an element, with every byte of its text accounted for
  int64_t next = 0;
  const char* name = nullptr;  // "script" or "style"
};

// A named reference that the HTML parser leaves as written, because its name lacks the ';' or
// is not in the parser's table, comes as the text "&" and then the text of the name, both
// told while the parser stands just after the name. The "&" is held back until it is known
// whether a name follows so.
struct HeldAmpersand {
  bool held = false;
  int64_t at = 0;  // where the parser stood
  unsigned char* values = nullptr;  // attribute values with such references decoded
  int32_t valuesSize = 0;
};

// The HTML parser reads a start tag or a DOCTYPE only once its '>' has come, looking for it
// past quoted values; a push that ends within such a value leaves it knowing that it is in
// one but not which quote ends it, so that it never finds the '>' and waits, holding every
// byte pushed after, until the document ends. The tag it waits at is read here as it reads
// it, and where the value ends is told to it before the next push.
struct TagLookup {
  int64_t tagAt = -1;  // where the tag begins
  int64_t read = 0;    // where reading it goes on
  unsigned char quote = 0;  // the quote that ends the value read into, or 0
  int64_t closedAt = -1;    // where its '>' stands, once read
};

// One parse through the library: the run whose records it makes, and the parser's state.
struct StandardRun {
  explicit StandardRun(ParseRun& owner) : run(owner) {}
  ParseRun& run;
  xmlParserCtxtPtr context = nullptr;
  xmlSAXHandler* handler = nullptr;
  bool html = false;
  bool failed = false;  // a failure of our own: its message is set and the parser stopped
  ParserError fatal;    // the first error that ends well-formedness
  ParserError any;      // the first error of any weight
  RawTextRun rawText;
  HeldAmpersand ampersand;
  int64_t lastEvent = 0;  // where the parser stood at its latest element, text or markup event
  TagLookup lookup;
};

long currentLine(StandardRun& sr) { return sr.context != nullptr ? static_cast<long>(xmlSAX2GetLineNumber(sr.context)) : 0; }
long currentColumn(StandardRun& sr) {
  return sr.context != nullptr ? static_cast<long>(xmlSAX2GetColumnNumber(sr.context)) : 0;
}

void stopParser(StandardRun& sr) {
  sr.failed = true;
  xmlStopParser(sr.context);
}

// Where the parser stands, counted in the bytes pushed into the current context.
int64_t parserOffset(StandardRun& sr) {
  const xmlParserInputPtr input = sr.context->input;
  if (input == nullptr || input->cur == nullptr || input->base == nullptr) return -1;
  return static_cast<int64_t>(input->consumed) + (input->cur - input->base);
}

// The pushed bytes from `offset` on while the parser still holds them (it drops what lies
// well behind it), with their number; nullptr when they are gone or not yet pushed.
const unsigned char* heldBytes(StandardRun& sr, int64_t offset, int64_t* available) {
  const xmlParserInputPtr input = sr.context->input;
  *available = 0;
  if (offset < 0 || input == nullptr || input->base == nullptr || input->end == nullptr) return nullptr;
  const auto first = static_cast<int64_t>(input->consumed);
  const int64_t held = input->end - input->base;
  if (offset < first || offset > first + held) return nullptr;
  *available = first + held - offset;
  return input->base + (offset - first);
}

unsigned char lowerAscii(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 0x20) : byte;
}

// A byte that continues an HTML tag name as the parser reads one.
bool isTagNameByte(unsigned char byte) {
  const unsigned char lowered = lowerAscii(byte);
  return (lowered >= 'a' && lowered <= 'z') || (byte >= '0' && byte <= '9') || byte == ':' || byte == '-' ||
         byte == '_' || byte == '.';
}

// Does an end tag "</NAME" of this name (any case) begin at bytes: exactly, or with more
// name after it?
bool endTagOf(const unsigned char* bytes, int64_t available, const char* name, bool exactly) {
  const auto length = static_cast<int64_t>(std::strlen(name));
  if (available < length + 2 || bytes[0] != '<' || bytes[1] != '/') return false;
  for (int64_t i = 0; i < length; ++i) {
    if (lowerAscii(bytes[2 + i]) != static_cast<unsigned char>(name[i])) return false;
  }
  const bool longer = available > length + 2 && isTagNameByte(bytes[2 + length]);
  return exactly ? !longer : longer;
}

// Script and style text, read with the recovery option, is broken off only at "</" and a
// name that begins with the element's own; when that name is longer ("</scripts>"), the
// parser drops the tag as a stray end tag and reads on in the same element. Returns where
// the run of such dropped tags that begins at `offset` ends.
int64_t pastDroppedEndTags(StandardRun& sr, int64_t offset, const char* name) {
  int64_t available = 0;
  const unsigned char* bytes = heldBytes(sr, offset, &available);
  int64_t at = 0;
  while (bytes != nullptr && endTagOf(bytes + at, available - at, name, false)) {
    at += 2;
    while (at < available && bytes[at] != '>') ++at;  // the parser skips what follows the name
    if (at < available) ++at;
  }
  return offset + at;
}

bool heldBytesAre(StandardRun& sr, int64_t offset, const unsigned char* text, int64_t length) {
  int64_t available = 0;
  const unsigned char* bytes = heldBytes(sr, offset, &available);
  return bytes != nullptr && available >= length && std::memcmp(bytes, text, static_cast<std::size_t>(length)) == 0;
}

// Gives the records the bytes the parser dropped from a script or style text before
// `offset`; false when they cannot be accounted for.
bool keepDroppedBytes(StandardRun& sr, int64_t offset) {
  RawTextRun& raw = sr.rawText;
  if (offset == raw.next) return true;
  int64_t available = 0;
  const unsigned char* bytes = heldBytes(sr, raw.next, &available);
  if (bytes == nullptr || offset < raw.next || offset - raw.next > available) return false;
  if (standardText(sr.run, bytes, static_cast<int32_t>(offset - raw.next)) != 0) {
    stopParser(sr);
    return false;
  }
  raw.next = offset;
  return true;
}

// A piece of script or style text: any end tags dropped before it are put back first. (No
// piece begins with such a tag: the parser breaks its text off there.)
void followRawText(StandardRun& sr, const xmlChar* text, int length) {
  RawTextRun& raw = sr.rawText;
  const int64_t past = pastDroppedEndTags(sr, raw.next, raw.name);
  raw.followed = heldBytesAre(sr, past, text, length) && keepDroppedBytes(sr, past);
  if (raw.followed) raw.next += length;
}

// The parser has just dropped a stray end tag from a script or style text: it is kept while
// the parser still holds its bytes.
void keepDroppedEndTag(StandardRun& sr) {
  RawTextRun& raw = sr.rawText;
  const int64_t at = parserOffset(sr);
  if (at > raw.next && pastDroppedEndTags(sr, raw.next, raw.name) == at) raw.followed = keepDroppedBytes(sr, at);
}

void beginRawText(StandardRun& sr, const xmlChar* name) {
  RawTextRun& raw = sr.rawText;
  raw = RawTextRun{};
  const char* const names[] = {"script", "style"};
  for (const char* candidate : names) {
    if (std::strcmp(reinterpret_cast<const char*>(name), candidate) == 0) raw.name = candidate;
  }
  // The parser stands on the '>' of the start tag; the text begins after it.
  int64_t available = 0;
  const int64_t at = parserOffset(sr);
  const unsigned char* bytes = heldBytes(sr, at, &available);
  raw.followed = raw.name != nullptr && bytes != nullptr && available > 0 && bytes[0] == '>';
  raw.next = at + 1;
}

// The end of a script or style element: dropped end tags between its last text and its own
// end tag (or the end of the document) are its text too.
void endRawText(StandardRun& sr) {
  RawTextRun& raw = sr.rawText;
  if (!raw.followed) return;
  raw.followed = false;
  const int64_t past = pastDroppedEndTags(sr, raw.next, raw.name);
  int64_t available = 0;
  const unsigned char* bytes = heldBytes(sr, past, &available);
  if (bytes != nullptr && (available == 0 || endTagOf(bytes, available, raw.name, true))) keepDroppedBytes(sr, past);
}

// The structure message with a detail in UTF-8 (the parser's own words), written as Shift-JIS.
void setParserMessage(StandardRun& sr, const char* detail, long line, long column) {
  char text[kDetailSize] = {};
  std::size_t length = std::strlen(detail);
  while (length > 0 && (detail[length - 1] == '\n' || detail[length - 1] == '\r')) --length;
  if (length >= sizeof text) length = sizeof text - 1;
  Cp932Encoder encoder{};
  if (messageTextCode(sr.run) == TextCode::Sjis && openEncoder(&encoder) == 0) {
    encodeCp932(&encoder, reinterpret_cast<const unsigned char*>(detail), static_cast<int32_t>(length),
                reinterpret_cast<unsigned char*>(text));
    closeEncoder(&encoder);
  } else {
    std::memcpy(text, detail, length);
  }
  setStructureMessage(sr.run, kCodeInputStructure, kFmtInputStructure, text, line, column);
}

// A "&" held back goes out as written.
void releaseAmpersand(StandardRun& sr) {
  if (!sr.ampersand.held) return;
  sr.ampersand.held = false;
  if (standardText(sr.run, reinterpret_cast<const unsigned char*>("&"), 1) != 0) stopParser(sr);
}

// Text that is "&", held back, or the name of a reference that the parser left as written,
// written as HTML reads it. The name must come while the parser still stands where it told
// the "&", and stand as "&" and itself in the bytes just before: a "&" that the parser
// decoded (from "&amp;") is told after its ';', and the text after it later, so nothing is
// decoded twice. False for any other text.
bool readBareReference(StandardRun& sr, const xmlChar* text, int length) {
  HeldAmpersand& ampersand = sr.ampersand;
  const int64_t at = parserOffset(sr);
  if (ampersand.held) {
    int64_t available = 0;
    const unsigned char* next = heldBytes(sr, at, &available);
    int32_t used = 0;
    const uint32_t character =
        at == ampersand.at && heldBytesAre(sr, at - length - 1, reinterpret_cast<const unsigned char*>("&"), 1) &&
                heldBytesAre(sr, at - length, text, length)
            ? bareLegacyReference(text, length, available > 0 ? next[0] : 0, false, &used)
            : 0;
    if (character != 0) {
      ampersand.held = false;
      unsigned char written[4];
      if (standardText(sr.run, written, writeUtf8(character, written)) != 0 ||
          standardText(sr.run, text + used, length - used) != 0) {
        stopParser(sr);
      }
      return true;
    }
    releaseAmpersand(sr);
  }
  if (length != 1 || text[0] != '&') return false;
  ampersand.held = true;
  ampersand.at = at;
  return true;
}

// Does a start tag "<NAME" of this name (any case) begin at bytes?
bool startTagOf(const unsigned char* bytes, int64_t available, const xmlChar* name) {
  const auto length = static_cast<int64_t>(std::strlen(reinterpret_cast<const char*>(name)));
  if (available < length + 2 || bytes[0] != '<') return false;
  for (int64_t i = 0; i < length; ++i) {
    if (lowerAscii(bytes[1 + i]) != name[i]) return false;
  }
  return !isTagNameByte(bytes[1 + length]);
}

// The attributes of the start tag just read, with the references that the parser left as
// written decoded where HTML reads them as legacy ones; the parser's own when there are none
// or the tag cannot be read again. The tag's '<' lies after the parser's previous event, or
// just its name before it (the elements that a start tag implies or closes are told when
// its name has been read). Each "<name" there is read again as the tag and held against
// every name and value the parser gave; one before the tag (a tag the parser dropped) fails
// that, and the next is tried.
const xmlChar** attributesAsHtmlReads(StandardRun& sr, const xmlChar* name, const xmlChar** attributes) {
  constexpr int kTriedStarts = 8;
  if (attributes == nullptr) return attributes;
  bool worth = false;
  for (int i = 0; attributes[i] != nullptr && !worth; i += 2) {
    worth = attributes[i + 1] != nullptr && mayHoldBareReference(attributes[i + 1]);
  }
  if (!worth) return attributes;
  const int64_t end = parserOffset(sr);
  const auto nameLength = static_cast<int64_t>(std::strlen(reinterpret_cast<const char*>(name)));
  const int64_t beforeName = sr.lastEvent - 1 - nameLength;
  int tried = 0;
  for (int64_t start = beforeName; start < end && tried < kTriedStarts;
       start = start == beforeName ? sr.lastEvent : start + 1) {
    int64_t available = 0;
    const unsigned char* bytes = heldBytes(sr, start, &available);
    if (bytes == nullptr || available <= end - start || !startTagOf(bytes, available, name)) continue;
    ++tried;
    const WrittenTag tag{bytes, end - start, available - (end - start)};
    const unsigned char* const* decoded = nullptr;
    const int result = decodeBareReferences(sr.run, tag, name, attributes, &sr.ampersand.values,
                                            &sr.ampersand.valuesSize, &decoded);
    if (result < 0) stopParser(sr);
    if (result != 0) return result < 0 ? attributes : const_cast<const xmlChar**>(decoded);
  }
  return attributes;
}

void keepError(ParserError* kept, const xmlError* error) {
  if (kept->held) return;
  kept->held = true;
  std::snprintf(kept->text, sizeof kept->text, "%s", error->message != nullptr ? error->message : "");
  kept->line = error->line;
  kept->column = error->int2;
}

// The events come with the parser's context, which carries the parse it belongs to.
StandardRun& runOf(void* context) { return *static_cast<StandardRun*>(static_cast<xmlParserCtxtPtr>(context)->_private); }

// Errors come with the parse that the handler was set for.
void onError(void* data, xmlErrorPtr error) {
  StandardRun& sr = *static_cast<StandardRun*>(data);
  if (error == nullptr) return;
  if (sr.rawText.followed && error->code == XML_ERR_TAG_NAME_MISMATCH) keepDroppedEndTag(sr);
  if (error->level < XML_ERR_ERROR) return;
  keepError(&sr.any, error);
  if (error->level == XML_ERR_FATAL) keepError(&sr.fatal, error);
}

// An HTML end event is a written end tag when the bytes just read are "</NAME>".
bool endTagJustRead(StandardRun& sr, const xmlChar* name) {
  const xmlParserInputPtr input = sr.context->input;
  if (input == nullptr || input->cur == nullptr || input->base == nullptr) return false;
  const xmlChar* base = input->base;
  const xmlChar* p = input->cur;
  const auto length = static_cast<long>(std::strlen(reinterpret_cast<const char*>(name)));
  if (p - base < length + 3 || p[-1] != '>') return false;
  p -= 2;
  while (p > base && isBlank(*p)) --p;
  if (p - base < length + 1) return false;
  for (long i = 0; i < length; ++i) {
    const xmlChar byte = p[-i];
    const xmlChar lowered = byte >= 'A' && byte <= 'Z' ? static_cast<xmlChar>(byte + 0x20) : byte;
    if (lowered != name[length - 1 - i]) return false;
  }
  p -= length;
  return p[0] == '/' && p[-1] == '<';
}

void onStartElement(void* context, const xmlChar* name, const xmlChar** attributes) {
  StandardRun& sr = runOf(context);
  if (sr.failed) return;
  if (standardDepth(sr.run) >= kDeepestNesting) {
    setStructureMessage(sr.run, kCodeInputStructure, kFmtInputStructure, kDetailTooDeep, currentLine(sr), currentColumn(sr));
    stopParser(sr);
    return;
  }
  releaseAmpersand(sr);
  const xmlChar** read = sr.html ? attributesAsHtmlReads(sr, name, attributes) : attributes;
  if (sr.failed) return;
  if (standardStartElement(sr.run, name, read) != 0) {
    stopParser(sr);
    return;
  }
  if (sr.html) beginRawText(sr, name);
  sr.lastEvent = parserOffset(sr);
}

void onEndElement(void* context, const xmlChar* name) {
  StandardRun& sr = runOf(context);
  if (sr.failed) return;
  releaseAmpersand(sr);
  if (sr.html) endRawText(sr);
  sr.rawText = RawTextRun{};
  if (sr.failed) return;
  if (standardEndElement(sr.run, name, sr.html && endTagJustRead(sr, name)) != 0) stopParser(sr);
  sr.lastEvent = parserOffset(sr);
}

void onText(void* context, const xmlChar* text, int length) {
  StandardRun& sr = runOf(context);
  if (sr.failed) return;
  sr.lastEvent = parserOffset(sr);
  // Script and style text holds no references; it is followed as written.
  if (sr.html && sr.rawText.name == nullptr && readBareReference(sr, text, length)) return;
  releaseAmpersand(sr);
  if (sr.rawText.followed) followRawText(sr, text, length);
  if (sr.failed) return;
  if (standardText(sr.run, text, length) != 0) stopParser(sr);
}

void markup(StandardRun& sr) {
  if (sr.failed) return;
  sr.lastEvent = parserOffset(sr);
  releaseAmpersand(sr);
  if (sr.failed) return;
  if (standardMarkup(sr.run) != 0) stopParser(sr);
}

void onComment(void* context, const xmlChar* /*text*/) { markup(runOf(context)); }
void onInstruction(void* context, const xmlChar* /*target*/, const xmlChar* /*data*/) { markup(runOf(context)); }

void onHtmlDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*) { markup(runOf(context)); }

// XML keeps the declarations of its internal subset, so that its own entities are decoded.
void onXmlDoctype(void* context, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
  markup(runOf(context));
  xmlSAX2InternalSubset(context, name, externalId, systemId);
}

// Nothing outside the document is ever read: no external entity, no external subset.
xmlParserInputPtr refuseExternalEntity(const char* /*url*/, const char* /*id*/, xmlParserCtxtPtr /*context*/) {
  return nullptr;
}
xmlParserInputPtr resolveNothing(void* /*context*/, const xmlChar* /*publicId*/, const xmlChar* /*systemId*/) {
  return nullptr;
}

xmlSAXHandler makeHandler(bool html) {
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  // Version 1 of the handler: its element events carry the attributes in document order,
  // namespace declarations among them, as the records need them.
  xmlSAXVersion(&handler, 1);
  handler.startElement = onStartElement;
  handler.endElement = onEndElement;
  handler.characters = onText;
  handler.ignorableWhitespace = onText;
  handler.cdataBlock = onText;
  handler.comment = onComment;
  handler.processingInstruction = onInstruction;
  handler.resolveEntity = resolveNothing;
  handler.externalSubset = nullptr;
  handler.reference = nullptr;
  handler.warning = nullptr;
  handler.error = nullptr;
  handler.fatalError = nullptr;
  handler.setDocumentLocator = nullptr;
  if (html) {
    handler.internalSubset = onHtmlDoctype;
    handler.startDocument = nullptr;
    handler.endDocument = nullptr;
  } else {
    handler.internalSubset = onXmlDoctype;
  }
  return handler;
}

xmlParserCtxtPtr createContext(StandardRun& sr, xmlSAXHandler* handler) {
  xmlParserCtxtPtr context;
  if (sr.html) {
    context = htmlCreatePushParserCtxt(handler, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    // Recovery changes one thing in this parser (the events of thousands of random pages
    // without script or style come out the same either way): a "</" in script or style text
    // ends it only when the element's own name follows. Without it any end tag there broke
    // the text off and was read as markup. What it still loses, an end tag cut between two
    // pushes and one with a longer name, is put back by cutMarkupLength and the raw text run.
    if (context != nullptr) {
      htmlCtxtUseOptions(context, HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_RECOVER);
    }
  } else {
    context = xmlCreatePushParserCtxt(handler, nullptr, nullptr, 0, nullptr);
    // Entities are decoded in place; without the "huge" option the library's limits on
    // their expansion stay, and the loader keeps every external one out.
    if (context != nullptr) {
      xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_IGNORE_ENC);
      xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
    }
  }
  // Its events find their parse through it.
  if (context != nullptr) context->_private = &sr;
  return context;
}

void freeContext(StandardRun& sr, xmlParserCtxtPtr context) {
  if (context == nullptr) return;
  if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
  context->myDoc = nullptr;
  if (sr.html) {
    htmlFreeParserCtxt(context);
  } else {
    xmlFreeParserCtxt(context);
  }
}

// The bytes the HTML parser holds but will not read: after the end of the root element it
// takes comments and blanks only, and would drop the rest without a word.
bool leftAfterRoot(StandardRun& sr, const xmlChar** from, long* length) {
  const xmlParserCtxtPtr context = sr.context;
  if (!sr.html || sr.failed || context->input == nullptr || context->input->cur == nullptr) return false;
  if (context->instate != XML_PARSER_EPILOG && context->instate != XML_PARSER_EOF) return false;
  const xmlChar* p = context->input->cur;
  const xmlChar* end = context->input->end;
  while (p < end && isBlank(*p)) ++p;
  if (p >= end) return false;
  // A comment or instruction still to come is the parser's own to read.
  if (context->instate == XML_PARSER_EPILOG && p[0] == '<' && (end - p < 2 || p[1] == '!' || p[1] == '?')) return false;
  *from = p;
  *length = end - p;
  return true;
}

int pushChunk(StandardRun& sr, const unsigned char* bytes, int32_t length, bool last);

// Reads what follows the root element as a page of its own into the same records, with a
// fresh parser, so that nothing of the document is lost.
void readOnAfterRoot(StandardRun& sr, bool last) {
  const xmlChar* from = nullptr;
  long length = 0;
  long before = -1;
  while (leftAfterRoot(sr, &from, &length)) {
    // Each round takes at least one byte, or it stops with the message of the parser.
    if (before >= 0 && length >= before) break;
    before = length;
    unsigned char* rest = nullptr;
    if (allocZeroed(&rest, length + 1) != 0) {
      setMessage(sr.run, kCodeTakeFailed, kFmtTakeFailed, kAreaStandardParser, length + 1);
      sr.failed = true;
      return;
    }
    std::memcpy(rest, from, static_cast<std::size_t>(length));
    xmlSAXHandler* handler = sr.handler;
    releaseAmpersand(sr);
    freeContext(sr, sr.context);
    sr.context = createContext(sr, handler);
    sr.rawText = RawTextRun{};
    sr.lookup = TagLookup{};
    // Offsets count again from the start of the new parser's bytes.
    sr.lastEvent = 0;
    if (sr.context == nullptr) {
      releaseArea(&rest);
      setMessage(sr.run, kCodeTakeFailed, kFmtTakeFailed, kAreaStandardParser, 0L);
      sr.failed = true;
      return;
    }
    const char* chunk = reinterpret_cast<const char*>(rest);
    htmlParseChunk(sr.context, chunk, static_cast<int>(length), last ? 1 : 0);
    releaseArea(&rest);
  }
}

// Before `bytes` are pushed: when the HTML parser's look for a '>' stopped within a quoted
// value, it is set to go on from where the value ends, or from the '>'. The look's state is
// the parser's own, as the 2.9 series keeps it; other versions are left alone.
void mendTagLookup(StandardRun& sr, const unsigned char* bytes, int32_t length) {
  const xmlParserCtxtPtr context = sr.context;
  const xmlParserInputPtr input = context->input;
  TagLookup& lookup = sr.lookup;
  constexpr bool kLookupKnown = LIBXML_VERSION >= 20900 && LIBXML_VERSION < 21000;
  if (!kLookupKnown || !sr.html || input == nullptr || input->base == nullptr || input->cur == nullptr || input->end == nullptr ||
      input->cur >= input->end || input->cur[0] != '<' || (context->hasPErefs & 1) == 0 ||
      context->checkIndex <= input->cur - input->base) {
    return;
  }
  const int64_t at = parserOffset(sr);
  if (lookup.tagAt != at) lookup = TagLookup{at, at, 0, -1};
  int64_t available = 0;
  const unsigned char* held = heldBytes(sr, lookup.read, &available);
  if (held == nullptr) return;
  for (int64_t i = 0; i < available && lookup.closedAt < 0; ++i) {
    const unsigned char byte = held[i];
    if (lookup.quote != 0) {
      if (byte == lookup.quote) lookup.quote = 0;
    } else if (byte == '"' || byte == '\'') {
      lookup.quote = byte;
    } else if (byte == '>') {
      lookup.closedAt = lookup.read + i;
    }
  }
  lookup.read += available;
  const int64_t first = static_cast<int64_t>(input->consumed);
  const int64_t end = first + (input->end - input->base);
  int64_t goOn = -1;
  if (lookup.closedAt >= 0) {
    goOn = lookup.closedAt;
  } else if (lookup.quote == 0) {
    goOn = end;
  } else if (const void* ends = length > 0 ? std::memchr(bytes, lookup.quote, static_cast<std::size_t>(length)) : nullptr) {
    goOn = end + (static_cast<const unsigned char*>(ends) - bytes) + 1;
  }
  if (goOn < 0) return;
  context->checkIndex = static_cast<long>(goOn - first);
  context->hasPErefs &= ~1;
}

int pushChunk(StandardRun& sr, const unsigned char* bytes, int32_t length, bool last) {
  mendTagLookup(sr, bytes, length);
  const char* chunk = reinterpret_cast<const char*>(bytes);
  const int result = sr.html ? htmlParseChunk(sr.context, chunk, length, last ? 1 : 0)
                               : xmlParseChunk(sr.context, chunk, length, last ? 1 : 0);
  if (sr.html) readOnAfterRoot(sr, last);
  return result;
}

// Row and column of a byte offset, counted on over the text's pieces: as everywhere else, but
// over 16-bit units in UTF-16 (a unit cut by a piece's end is taken with the next piece).
class PositionCount {
 public:
  explicit PositionCount(SourceCode code) : utf16_(code == SourceCode::Utf16Le || code == SourceCode::Utf16Be),
                                            littleEnd_(code == SourceCode::Utf16Le) {}
  void take(const unsigned char* bytes, int64_t length) {
    if (!utf16_) {
      countRowsColsOn(&counted_, reinterpret_cast<const char*>(bytes), static_cast<long>(length));
      return;
    }
    for (int64_t i = 0; i < length; ++i) {
      if (!halfHeld_) {
        half_ = bytes[i];
        halfHeld_ = true;
        continue;
      }
      halfHeld_ = false;
      const unsigned char low = littleEnd_ ? half_ : bytes[i];
      const unsigned char high = littleEnd_ ? bytes[i] : half_;
      if (low == '\n' && high == 0) {
        ++counted_.rows;
        counted_.columns = 1;
      } else {
        ++counted_.columns;
      }
    }
  }
  long row() const { return counted_.rows; }
  long column() const { return counted_.columns; }

 private:
  bool utf16_;
  bool littleEnd_;
  RowsCols counted_;
  unsigned char half_ = 0;
  bool halfHeld_ = false;
};

// The document's bytes as the feed takes them, a piece of kPieceSize bytes at a time (the
// first fault of an XML document is the first in the first piece that has one): from a whole
// text where it stands, or from a source read `piece` bytes at a time into an area that holds
// one piece, the bytes of a cut character it left and one more, which tells whether the piece
// is the last. The decoded text of a source goes to the parser `piece` bytes at a time.
class DocumentBytes {
 public:
  DocumentBytes(const unsigned char* text, int32_t size, int32_t skip) : text_(text), size_(size), at_(skip), skip_(skip) {}
  DocumentBytes(ParseRun& run, ByteSource& source, int32_t piece, int32_t skip, const char* name)
      : run_(&run), source_(&source), piece_(piece), skip_(skip), name_(name) {}
  ~DocumentBytes() { releaseArea(&held_); }
  DocumentBytes(const DocumentBytes&) = delete;
  DocumentBytes& operator=(const DocumentBytes&) = delete;

  // Takes the area and passes the mark; 0, or -1 with the message set.
  int open() {
    if (source_ == nullptr) return 0;
    if (takeArea(*run_, &held_, kPieceSize + 1 + 16, kAreaConversion) != 0) return -1;
    for (int32_t left = skip_; left > 0;) {
      const int32_t got = source_->read(held_, left);
      if (got < 0) return readFailed();
      if (got == 0) break;
      left -= got;
    }
    return fill();
  }
  // No byte after the mark.
  bool empty() const { return source_ == nullptr ? size_ - skip_ <= 0 : heldUsed_ == 0; }
  // The bytes to decode next (none at the end) and whether they are the last.
  void next(const unsigned char** bytes, int32_t* length, bool* last) const {
    if (source_ == nullptr) {
      const int32_t end = size_ - at_ > kPieceSize ? at_ + kPieceSize : size_;
      *bytes = text_ + at_;
      *length = end - at_;
      *last = end == size_;
      return;
    }
    *bytes = held_;
    *length = heldUsed_ > kPieceSize ? kPieceSize : heldUsed_;
    *last = heldUsed_ <= kPieceSize;
  }
  // `used` of the bytes given were decoded; the next are read. 0, or -1 with the message set.
  int take(int32_t used) {
    if (source_ == nullptr) {
      at_ += used;
      return 0;
    }
    std::memmove(held_, held_ + used, static_cast<std::size_t>(heldUsed_ - used));
    heldUsed_ -= used;
    return fill();
  }
  // Decoded bytes pushed at a time.
  int32_t pushSize() const { return source_ == nullptr ? kChunkSize : piece_; }
  // Row and column of the byte `offset` bytes after the mark. 0, or -1 with the message set:
  // a source is read again from its start for them.
  int positionOf(int64_t offset, SourceCode code, long* row, long* column) {
    PositionCount count(code);
    if (source_ == nullptr) {
      count.take(text_ + skip_, offset);
    } else {
      if (!source_->rewind()) return readFailed();
      unsigned char bytes[4096];
      for (int64_t at = -skip_; at < offset;) {
        const int64_t wanted = offset - at < static_cast<int64_t>(sizeof bytes) ? offset - at : static_cast<int64_t>(sizeof bytes);
        const int32_t got = source_->read(bytes, static_cast<int32_t>(wanted));
        if (got < 0) return readFailed();
        if (got == 0) break;
        const int32_t mark = at < 0 ? static_cast<int32_t>(-at < got ? -at : got) : 0;
        count.take(bytes + mark, got - mark);
        at += got;
      }
    }
    *row = count.row();
    *column = count.column();
    return 0;
  }

 private:
  // Reads until the area is full or the source ends.
  int fill() {
    while (!ended_ && heldUsed_ < kPieceSize + 1) {
      const int32_t room = kPieceSize + 1 - heldUsed_;
      const int32_t got = source_->read(held_ + heldUsed_, room < piece_ ? room : piece_);
      if (got < 0) return readFailed();
      ended_ = got == 0;
      heldUsed_ += got;
    }
    return 0;
  }
  int readFailed() {
    setMessage(*run_, kCodeReadFailed, kFmtReadFailed, name_);
    return -1;
  }

  const unsigned char* text_ = nullptr;
  int32_t size_ = 0;
  int32_t at_ = 0;
  ParseRun* run_ = nullptr;
  ByteSource* source_ = nullptr;
  int32_t piece_ = 0;
  int32_t skip_ = 0;
  const char* name_ = "";
  unsigned char* held_ = nullptr;
  int32_t heldUsed_ = 0;
  bool ended_ = false;
};

// The bytes at the end of a piece that could begin the end tag of a script or style element,
// or a DOCTYPE. With recovery the parser reads such text on to the end of what it holds, and
// would take an end tag cut there for text; it tells a DOCTYPE by its first nine bytes, and
// reads one cut before them as text. They are pushed with the next piece instead.
int32_t cutMarkupLength(const unsigned char* bytes, int32_t length) {
  const char* const tags[] = {"</script", "</style", "<!doctype"};
  int32_t longest = 0;
  for (const char* tag : tags) {
    const auto tagLength = static_cast<int32_t>(std::strlen(tag));
    for (int32_t cut = tagLength - 1; cut > longest; --cut) {
      if (cut > length) continue;
      int32_t i = 0;
      while (i < cut && lowerAscii(bytes[length - cut + i]) == static_cast<unsigned char>(tag[i])) ++i;
      if (i == cut) longest = cut;
    }
  }
  return longest;
}

// Decodes the document piece by piece and pushes it; 0, or -1 with the message set.
// *carried: bytes left at the start of the chunk for the last push.
int feedDocument(StandardRun& sr, DocumentBytes& bytes, const DocumentSource& source, unsigned char* chunk,
                 int32_t* carried) {
  Utf8Decoder decoder{};
  // XML is read strictly: a byte that is not of its code makes it unreadable.
  if (openDecoder(&decoder, source.code, source.label, !sr.html) != 0) {
    setStructureMessage(sr.run, kCodeInputStructure, kFmtInputStructure, kDetailUndecodable, 1L, 1L);
    return -1;
  }
  int result = 0;
  const int32_t pushSize = bytes.pushSize();
  *carried = 0;
  while (!sr.failed && sr.context->disableSAX == 0) {
    const unsigned char* piece = nullptr;
    int32_t length = 0;
    bool last = false;
    bytes.next(&piece, &length, &last);
    if (length == 0) break;
    int32_t used = 0;
    const int32_t produced = decodePiece(&decoder, piece, length, last, chunk + *carried, kChunkSize - *carried, &used);
    if (produced < 0) {
      long row = 0;
      long column = 0;
      if (bytes.positionOf(decoder.badOffset, source.code, &row, &column) == 0) {
        setStructureMessage(sr.run, kCodeInputStructure, kFmtInputStructure, kDetailUndecodable, row, column);
      }
      result = -1;
      break;
    }
    if (bytes.take(used) != 0) {
      result = -1;
      break;
    }
    const int32_t ready = *carried + produced;
    // The bytes a push leaves at its end go with the next.
    int32_t from = 0;
    for (int32_t end = 0; end < ready && !sr.failed;) {
      end = ready - end > pushSize ? end + pushSize : ready;
      const int32_t left = sr.html ? cutMarkupLength(chunk + from, end - from) : 0;
      if (end - left > from) pushChunk(sr, chunk + from, end - left - from, false);
      from = end - left;
    }
    *carried = ready - from;
    std::memmove(chunk, chunk + from, static_cast<std::size_t>(*carried));
    if (used == 0 && produced == 0) break;  // nothing more can be taken
  }
  closeDecoder(&decoder);
  return result;
}

int parseWithContext(StandardRun& sr, InputKind kind, const DocumentSource& source, DocumentBytes& bytes,
                     unsigned char* chunk) {
  int32_t carried = 0;
  const int fed = feedDocument(sr, bytes, source, chunk, &carried);
  if (fed == 0 && !sr.failed) pushChunk(sr, chunk, carried, true);
  releaseAmpersand(sr);
  if (sr.failed || fed != 0) return -1;
  const ParserError& error = sr.fatal.held ? sr.fatal : sr.any;
  const bool unreadable = kind == InputKind::Xml ? sr.context->wellFormed == 0 : sr.context->disableSAX != 0;
  if (unreadable) {
    setParserMessage(sr, error.held ? error.text : "", error.held ? error.line : currentLine(sr),
                     error.held ? error.column : currentColumn(sr));
    return -1;
  }
  return finishStandardRecords(sr.run);
}

// The library is set up once per process, and told once to load nothing from outside a
// document: external entities and subsets are refused for every parse, on every thread.
void initialiseOnce() {
  static const bool initialised = [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(refuseExternalEntity);
    return true;
  }();
  (void)initialised;
}

// Parses the document's bytes, read from the source's code, into the slot of the table
// cursor; the bytes' area is taken.
int parseBytes(ParseRun& run, InputKind kind, const DocumentSource& source, DocumentBytes& bytes, TextCode working,
               int64_t* replaced) {
  initialiseOnce();
  // An empty file has no records and no fault, whichever way it is read.
  if (bytes.empty()) return 0;

  // Records in UTF-8 take the parser's text as it stands; in Shift-JIS through the encoder.
  Cp932Encoder encoder{};
  if (working == TextCode::Sjis && openEncoder(&encoder) != 0) {
    setStructureMessage(run, kCodeInputStructure, kFmtInputStructure, kDetailUndecodable, 1L, 1L);
    return -1;
  }
  unsigned char* chunk = nullptr;
  if (beginStandardRecords(run, kind, working == TextCode::Sjis ? &encoder : nullptr) != 0 ||
      takeArea(run, &chunk, kChunkSize, kAreaConversion) != 0) {
    endStandardRecords(run);
    closeEncoder(&encoder);
    return -1;
  }

  StandardRun sr(run);
  sr.html = kind == InputKind::Html;
  xmlSAXHandler handler = makeHandler(sr.html);
  sr.handler = &handler;
  // The error handler is the calling thread's own in the library.
  xmlSetStructuredErrorFunc(&sr, onError);
  int result = -1;
  sr.context = createContext(sr, &handler);
  if (sr.context == nullptr) {
    setMessage(run, kCodeTakeFailed, kFmtTakeFailed, kAreaStandardParser, 0L);
  } else {
    result = parseWithContext(sr, kind, source, bytes, chunk);
  }
  freeContext(sr, sr.context);
  releaseArea(&sr.ampersand.values);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  releaseArea(&chunk);
  endStandardRecords(run);
  *replaced = encoder.replaced;
  closeEncoder(&encoder);
  return result;
}

}  // namespace

bool standardParserAvailable() { return true; }

int parseStandardDocument(ParseRun& run, InputKind kind, DocumentCode declared, unsigned char* text, int32_t size,
                          TextCode working, int64_t* replaced, DocumentSource* found) {
  *replaced = 0;
  const DocumentSource source = findDocumentCode(text, size, kind, declared);
  if (found != nullptr) *found = source;
  if (source.code == SourceCode::Jis) size = jisToShiftJis(text, size);
  DocumentBytes bytes(text, size, source.skip);
  return parseBytes(run, kind, source, bytes, working, replaced);
}

int parseStandardPieces(ParseRun& run, InputKind kind, const DocumentSource& source, ByteSource& bytes, int32_t piece,
                        TextCode working, int64_t* replaced, const char* name) {
  *replaced = 0;
  DocumentBytes pieces(run, bytes, piece, source.skip, name);
  if (pieces.open() != 0) return -1;
  return parseBytes(run, kind, source, pieces, working, replaced);
}

#endif

}  // namespace mq
