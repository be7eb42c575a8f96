// The marquill library: Japanese web documents read into flat tag records, tag listings,
// templates filled from up to nine documents, and text converted between Japanese codes.
// Every call is a value in, a value out: it owns what it uses, so calls may run at once on
// any number of threads. No call logs, prints, exits or asks; a failure, a lack of memory
// included, is returned as the message the programs would report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marquill {

enum class Kind { Xml, Html };
// Classic: the system's own scanner; Standard: the conformant parser (libxml2), when built in.
enum class Parser { Classic, Standard };
// The code a document is declared to be in; Detect: decided from its bytes.
enum class Code { Detect, Utf8, Utf16, Sjis, Euc, Jis };
// The code of records, listings, templates, replacement tables and filled output.
enum class Working { Sjis, Utf8 };

// One tag record: the document's number (1 to 9), its running object number, the sequence
// number of its path, the full path of open tags and the value, in the working code.
struct Record {
  int32_t file = 0;
  int32_t object = 0;
  int32_t sequence = 0;
  std::string path;
  std::string value;
};

// A message as the programs report it: code and text (in the working code); row and
// column for the structure faults (1021, 1022, 1023), 0 otherwise.
struct Message {
  int32_t code = 0;
  std::string text;
  long row = 0;
  long column = 0;
};

// What every call reports beside its result: the failure (code 0 after success), the
// warnings met (5021, 5022, 5023) in order, and, for a document whose code was not
// declared and that was read the classic way, the name of the code it was found in.
struct Outcome {
  Message failure;
  std::vector<Message> warnings;
  std::string decidedCode;
  bool ok() const { return failure.code == 0; }
};

struct ReadOptions {
  Kind kind = Kind::Html;
  Parser parser = Parser::Classic;
  Code code = Code::Detect;
  Working working = Working::Sjis;
};

struct Records : Outcome {
  std::vector<Record> records;
};

// One document's records, as Marquill and the listing tools read it.
Records read(std::string_view document, const ReadOptions& options = {});

// The records of a tag listing (the CSV input kind); `name` stands in its messages.
Records readListing(std::string_view listing, Working working = Working::Sjis, std::string_view name = "");

// How a tag listing is written: the listing tools' /p, /k and /d.
struct ListingFormat {
  char separator = '\t';
  bool header = false;
  bool skipEmptyValues = false;
};

struct Text : Outcome {
  std::string text;
};

// One document's tag listing, byte for byte what ToolMqlInputX (Xml) or ToolMqlInputH
// (Html) writes for it.
Text listing(std::string_view document, const ReadOptions& options = {}, const ListingFormat& format = {});

// Normal and NoCrlf fill the template; Csv writes every record of every document as a tag
// listing line, as [OUTFILE] KIND=CSV does, and needs no template.
enum class FillKind { Normal, NoCrlf, Csv };

struct FillOptions {
  bool documentsAreListings = false;  // the documents are tag listings ([INFILE] KIND=CSV)
  ReadOptions read;                   // how documents are read (kind, parser, code, working)
  FillKind kind = FillKind::Normal;   // [OUTFILE] KIND
  // [SET] START and END: 1 to 30 bytes each; an empty one is Marquill's setting error.
  std::string startMarker;
  std::string endMarker;
  bool useReplacements = false;       // a replacement table is given
  std::string_view replacements;      // its text
};

// The template filled with the values its items address in up to nine documents, as
// Marquill writes it to [OUTFILE] FILENAME.
Text fill(std::string_view templateText, const std::vector<std::string_view>& documents,
          const FillOptions& options = {});

enum class Target { Sjis, Euc, Jis, Utf8 };

struct Recoded : Outcome {
  std::string text;
  int64_t replaced = 0;  // characters written as the replacement mark
};

// Text converted to the target code, as ToolRecast converts a file; its messages are
// composed in `messages`.
Recoded recode(std::string_view text, Target target, Code source = Code::Detect, Working messages = Working::Sjis);

// "1.0.0"-style version and whether the standard parser is built in.
const char* version();
bool hasStandardParser();

}  // namespace marquill
