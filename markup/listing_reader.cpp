#include "markup/listing_reader.h"
