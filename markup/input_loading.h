// Loading the configured input files into the parse tables.
#pragma once

namespace mq {

// Loads every configured input (gSettings.inputKind, inputCount, inputFiles) into its slot.
// 0, or the failing step's result with the message set; does not log.
int loadInputs();
// Reads one document whole into gParserScratch.inputText and converts it to Shift-JIS.
int loadDocument(const char* fileName);

}  // namespace mq
