// Writing a file whole or not at all.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "regfile/FileBytes.h"

namespace pw::test {
namespace {

TEST(SaveFileReplacing, AFileWhoseNameIsAsLongAsANameCanBeIsWrittenAndReplaced) {
  TempDir dir;
  std::string path = dir.File(std::string(250, 'n') + ".reg");  // 254 bytes
  Result first = SaveFileReplacing(path, "first");
  ASSERT_TRUE(first.Ok()) << first.Message();
  Result second = SaveFileReplacing(path, "second");
  ASSERT_TRUE(second.Ok()) << second.Message();
  EXPECT_EQ(ReadFileBytes(path), "second");
}

}  // namespace
}  // namespace pw::test
