#include "markup/scanner.h"
