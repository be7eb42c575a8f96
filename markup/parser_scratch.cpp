#include "markup/parser_scratch.h"

namespace mq {

ParserScratch gParserScratch;

int allocateParserScratch() {
  gParserScratch = ParserScratch{};
  return takeAreaGroup(gParserScratch, kScratchAreas);
}

void releaseParserScratch() {
  releaseArea(&gParserScratch.inputText);
  gParserScratch.inputSize = 0;
  releaseAreaGroup(gParserScratch, kScratchAreas);
}

void clearParserScratch() { clearAreaGroup(gParserScratch, kScratchAreas); }

}  // namespace mq
