// The steps of the listing tools: one document parsed as the main program parses it, its
// tag records written as a tag listing.
#pragma once

#include <cstdint>

#include "common/run_record.h"
#include "common/settings.h"

namespace mq {

struct ListingOptions {
  char separator;  // written between the fields
  bool writeHeader;
  bool skipEmptyValues;
  char listingFile[kArgumentSize];
  InputKind inputKind;  // fixed by the program
};

extern ListingOptions gListingOptions;

inline constexpr int32_t kValueAreaSize = 4096;  // first size and step of the value area

// The escaped value of the record being written, NUL-terminated; the area keeps its grown
// size for the rest of the run.
struct ValueArea {
  unsigned char* bytes;
  int32_t size;
  int32_t used;
};

extern ValueArea gValueArea;

// The entry of both programs: the frame run with the listing steps and the program's kind.
int runListingTool(const char* commandLine, const char* programName, InputKind kind);

// The kind parseListingOptions gives the input; runListingTool sets it.
void setListingKind(InputKind kind);

int parseListingOptions();
int takeListingAreas();
int runListing();
void releaseListingAreas();

// Writes the records of the parse tables to the listing file (the part of runListing after
// the document has been loaded).
int writeListing();

// Fills the value area with the value, TAB, LF and CR written as "[09]", "[0A]", "[0D]".
int escapeValue(const char* value, int32_t length);

}  // namespace mq
