#include "common/settings.h"

namespace mq {

Settings gSettings;

void resetSettings() { gSettings = Settings{}; }

}  // namespace mq
