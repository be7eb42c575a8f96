// The replacement-definition file: per line a replacement number (1 to 9999), a
// before-text and an after-text, TAB-separated. An item that names a number writes the
// after-text in place of a value that begins with the before-text.
#pragma once

#include <cstdint>

#include "convert/output_areas.h"

namespace mq {

struct OutputRun;

// Reads run.settings.replacementDefinitionFile into the replacement table of run.output
// (whose areas must be taken). 0, or -1 with the message set: 1003 unreadable, 1014 no
// memory, 1023 a faulty line or a number used twice.
int loadReplacementTable(OutputRun& run);

// The entry with that number, or nullptr.
const ReplacementEntry* findReplacement(OutputRun& run, int32_t number);

}  // namespace mq
