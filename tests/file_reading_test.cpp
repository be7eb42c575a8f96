// Whole files read into blocks with sixteen zero bytes behind, and the files that cannot be.
#include "common/file_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/work_areas.h"
#include "tests/test_support.h"

namespace mq {
namespace {

class FileReading : public test::ScratchDir {};

TEST_F(FileReading, ReadsWholeFilesWithSixteenZeroBytesBehind) {
  test::writeFile(path("doc"), std::string("ab\0c", 4));
  unsigned char* block = nullptr;
  int32_t length = -1;
  ASSERT_EQ(readWholeFile(&block, &length, path("doc").c_str()), 0);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 20), std::string("ab\0c", 4) + std::string(16, '\0'));
  releaseArea(&block);

  test::writeFile(path("empty"), "");
  ASSERT_EQ(readWholeFile(&block, &length, path("empty").c_str()), 0);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 16), std::string(16, '\0'));
  releaseArea(&block);

  EXPECT_EQ(readWholeFile(&block, &length, path("missing").c_str()), -1);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(readWholeFile(&block, &length, dir_.c_str()), -1) << "a folder is no file";
}

TEST_F(FileReading, RefusesAFileWhoseBlockWouldPassTheLargestAreaSize) {
  // A sparse file costs no disk; its length plus 16 passes 2147483647 by one byte.
  const std::string big = path("big");
  test::writeFile(big, "");
  std::filesystem::resize_file(big, 2147483647L - 15);
  long length = 0;
  ASSERT_EQ(getFileLength(&length, big.c_str()), 0);
  EXPECT_EQ(length, 2147483632L);
  unsigned char* block = nullptr;
  int32_t read = 0;
  EXPECT_EQ(readWholeFile(&block, &read, big.c_str()), -1);
  EXPECT_EQ(block, nullptr);
}

}  // namespace
}  // namespace mq
