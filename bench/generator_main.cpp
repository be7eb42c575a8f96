#include "bench/generator_main.h"

#include <cstdio>
#include <cstdlib>

namespace mq::bench {

namespace {

constexpr long kBytesPerMb = 1000000;
constexpr long kLargestMb = 2000;  // the programs read a file of at most 2 GiB

int writeToFile(void* context, const char* bytes, long length) {
  FILE* file = static_cast<FILE*>(context);
  return std::fwrite(bytes, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length) ? 0 : -1;
}

}  // namespace

int runGenerator(int argc, char** argv, Generator generate) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SIZE_MB OUTPUT   (1 MB = 1000000 bytes)\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  const long megabytes = std::strtol(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || megabytes < 1 || megabytes > kLargestMb) {
    std::fprintf(stderr, "%s: SIZE_MB must be a whole number from 1 to %ld, not '%s'\n", argv[0], kLargestMb, argv[1]);
    return 2;
  }
  FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  const int generated = generate(megabytes * kBytesPerMb, writeToFile, file);
  const int closed = std::fclose(file);
  if (generated != 0 || closed != 0) {
    std::fprintf(stderr, "%s: writing %s failed\n", argv[0], argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace mq::bench
