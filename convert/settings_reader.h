// Reads Marquill's settings file (the path in argument slot 0) into run.settings and
// reports the first missing or wrong setting, with its section and key, in the log. Keys and
// sections it does not know, and keywords it read by their first bytes only, are noted in
// run.settingNotes; they stop nothing.
#pragma once

namespace mq {

struct OutputRun;

// 0 when every setting was read and accepted; -1 after a failure it has logged.
int readSettings(OutputRun& run);

}  // namespace mq
