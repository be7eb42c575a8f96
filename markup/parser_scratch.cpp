#include "markup/parse_run.h"
#include "markup/parser_scratch.h"

namespace mq {

int allocateParserScratch(ParseRun& run) {
  run.scratch = ParserScratch{};
  return takeAreaGroup(run, run.scratch, kScratchAreas);
}

void releaseParserScratch(ParseRun& run) {
  releaseArea(&run.scratch.inputText);
  run.scratch.inputSize = 0;
  releaseAreaGroup(run.scratch, kScratchAreas);
}

void clearParserScratch(ParseRun& run) { clearAreaGroup(run.scratch, kScratchAreas); }

}  // namespace mq
