// Loading the inputs of a run into the parse tables: documents read whole, converted to
// Shift-JIS and scanned, or tag listings read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>

#include "common/settings.h"

namespace mq {

struct ParseRun;
class ByteSource;

// What to load: the kind of every input and the names of the files; input k+1 fills slot k,
// whose areas must be taken. Documents are read by the parser named, from the code named.
struct InputSet {
  InputKind kind;  // XML or HTML documents, or CSV (tag listings)
  int32_t count;   // 1 to kMaxInputs
  const char (*fileNames)[kInputNameSize];
  ParserKind parser = ParserKind::Classic;
  DocumentCode code = DocumentCode::Detect;  // Detect: decided for each document
  // Called when a document has had characters replaced, with warning 5023 as the current
  // message; none: the warning is only set.
  std::function<void()> warn = nullptr;
  // Called with the name of the code each document was found in when none was declared and
  // it was read the classic way (SJIS, EUC, JIS, ASCII, UTF8, UTF16, MIXED or its label).
  std::function<void(const char* codeName)> decided = nullptr;
  TextCode working = TextCode::Sjis;  // the code of the records
  // When given, the inputs' bytes in memory (the library's documents and listings); the file
  // names then only name them in messages.
  const std::string_view* texts = nullptr;
};

// Loads every input into its slot, stopping at the first failure. 0, or the failing step's
// result with the message set; does not log.
int loadInputs(ParseRun& run, const InputSet& inputs);

// One document of `kind` held in memory, loaded into slot 0 as loadInputs loads a file.
int loadDocumentText(ParseRun& run, InputKind kind, const unsigned char* bytes, int32_t size, ParserKind parser = ParserKind::Classic,
                     DocumentCode code = DocumentCode::Detect, TextCode working = TextCode::Sjis);

// One tag listing, from an open stream or a text in memory, read into the first slotCount
// slots as loadInputs reads a listing file; `name` stands in its messages.
int loadListing(ParseRun& run, ByteSource& listing, const char* name, int32_t slotCount);

}  // namespace mq
