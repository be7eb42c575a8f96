#include "tools/listing_tool.h"
