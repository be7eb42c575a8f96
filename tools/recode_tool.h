// The steps of the recode tool: one text file read whole, its code decided once (or named
// by its user), converted piece by piece into the code its user names, and written to a
// second file; what could not be held is counted in the report.
#pragma once

#include <cstdint>

#include "common/run_record.h"
#include "common/settings.h"
#include "convert/recode_pipeline.h"

namespace mq {

struct RecodeOptions {
  RecodeTarget target;
  DocumentCode inputCode;  // Detect: decided from the input itself
  char inputFile[kArgumentSize];
  char outputFile[kArgumentSize];
};

extern RecodeOptions gRecodeOptions;

// The whole input file (NUL-padded) once it has been read, and the three areas a piece
// passes through: two between the steps and the output area.
struct RecodeAreas {
  unsigned char* output;
  unsigned char* between[2];
  unsigned char* input;
  int32_t inputLength;
};

extern RecodeAreas gRecodeAreas;
// The program's one run record.
extern RunRecord gRecodeRecord;

// The entry of ToolRecast: the frame run with the recode steps.
int runRecodeTool(int count, const char* const* arguments);
// The same with the arguments as one text split at blanks, as tests write them.
int runRecodeTool(const char* commandLine);

int parseRecodeOptions();
int takeRecodeAreas();
int runRecode();
void releaseRecodeAreas();

}  // namespace mq
