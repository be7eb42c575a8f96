// Reads Marquill's settings file (the path in argument slot 0) into gSettings and
// reports the first missing or wrong setting, with its section and key, in the log.
#pragma once

namespace mq {

// 0 when every setting was read and accepted; -1 after a failure it has logged.
int readSettings();

}  // namespace mq
