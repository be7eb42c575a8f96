#include "common/code_conversion.h"
