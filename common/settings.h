// The values of Marquill's settings file, read once by readSettings into the run and
// read-only afterwards.
#pragma once

#include <cstdint>

namespace mq {

enum class OutputKind : int32_t { None = 0, Csv = 3, Normal = 4, NoCrlf = 5 };
enum class InputKind : int32_t { None = 0, Xml = 1, Html = 2, Csv = 3 };
// How documents are read: today's scanner, or the conformant XML and tolerant HTML parser.
enum class ParserKind : int32_t { Classic = 0, Standard = 1 };
// The code the documents are declared to be in; Detect: none declared.
enum class DocumentCode : int32_t { Detect = 0, Utf8 = 1, Utf16 = 2, Sjis = 3, Euc = 4, Jis = 5 };

// The code a run works in: records, template, replacement table and output ([OUTFILE] CODE),
// or the code of the log ([LOG] CODE). Shift-JIS unless UTF-8 is asked for.
enum class TextCode : int32_t { Sjis = 0, Utf8 = 1 };

inline constexpr int kMaxInputs = 9;
inline constexpr int kFileNameSize = 254;   // 253 bytes and the NUL
inline constexpr int kInputNameSize = 256;  // room for a command-line argument of 255 bytes
inline constexpr int kMarkerSize = 31;      // 30 bytes and the NUL

struct Settings {
  char logFileName[kFileNameSize];
  bool warnLog;
  OutputKind outputKind;
  char startMarker[kMarkerSize];
  char endMarker[kMarkerSize];
  int32_t inputCount;
  InputKind inputKind;
  ParserKind parser;          // [INFILE] PARSER; documents only
  DocumentCode documentCode;  // [INFILE] CODE; documents only
  char inputFiles[kMaxInputs][kInputNameSize];
  char outputFile[kFileNameSize];
  char outputDefinitionFile[kFileNameSize];
  char replacementDefinitionFile[kFileNameSize];
  bool useReplacement;
  TextCode workingCode;  // [OUTFILE] CODE
  TextCode logCode;      // [LOG] CODE
};

// The code named UTF8, UTF16, SJIS, EUC or JIS, by the first bytes of the upper-cased name as
// every keyword is; false for any other name.
bool documentCodeFromName(const char* upperCased, DocumentCode* code);

}  // namespace mq
