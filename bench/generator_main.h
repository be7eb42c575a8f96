// The command line the benchmark generators share: SIZE_MB OUTPUT, the file written with
// the generator given (1 MB = 1000000 bytes).
#pragma once

#include "bench/html_generator.h"

namespace mq::bench {

using Generator = int (*)(long sizeBytes, DocumentSink sink, void* context);

// Exit code: 0 written, 1 the file could not be written (and is removed), 2 a usage fault.
int runGenerator(int argc, char** argv, Generator generate);

}  // namespace mq::bench
