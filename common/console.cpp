#include "common/console.h"
