// The steps of the listing tools: one document parsed as the main program parses it, its
// tag records written as a tag listing.
#pragma once

#include "common/run_record.h"
#include "common/settings.h"
#include "convert/listing_writer.h"

namespace mq {

struct ListingOptions {
  ListingFormat format;
  ParserKind parser;          // /s: the standard parser
  DocumentCode documentCode;  // /e followed by the code's name
  TextCode working;           // /u: the listing in UTF-8
  char inputFile[kInputNameSize];
  char listingFile[kArgumentSize];
};

extern ListingOptions gListingOptions;
// The program's one run.
extern ListingRun gListing;

// The entry of both programs: the frame run with the listing steps, the document parsed in
// the program's kind (XML or HTML).
int runListingTool(int count, const char* const* arguments, const char* programName, InputKind kind);
// The same with the arguments as one text split at blanks, as tests write them.
int runListingTool(const char* commandLine, const char* programName, InputKind kind);

// The steps, in the frame's order.
int parseListingOptions();
int takeListingAreas();
int runListing();
void releaseListingAreas();

}  // namespace mq
