#include "common/tool_frame.h"
