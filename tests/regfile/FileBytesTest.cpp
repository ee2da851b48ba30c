// Writing a file whole or not at all.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "regfile/FileBytes.h"

namespace pw::test {
namespace {

TEST(SaveFileReplacing, AFileWhoseNameIsAsLongAsANameCanBeIsWrittenAndReplaced) {
  TempDir dir;
  std::string path = dir.File(std::string(250, 'n') + ".reg");  // 254 bytes
  std::string error;
  ASSERT_TRUE(SaveFileReplacing(path, "first", error)) << error;
  ASSERT_TRUE(SaveFileReplacing(path, "second", error)) << error;
  EXPECT_EQ(ReadFileBytes(path), "second");
}

}  // namespace
}  // namespace pw::test
