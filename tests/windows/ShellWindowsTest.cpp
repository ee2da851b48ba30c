// The open pages of the shell's windows, asked of the platform's shell.
#include <gtest/gtest.h>

#include "browser/ShellWindowPages.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

TEST(ShellWindows, AreReadWithoutFailingAndGiveOnlyAddresses) {
  std::vector<std::string> addresses = ShellWindowAddresses();
  // Wine's shell serves no window collection (it waits a few seconds for its
  // service first): the list is empty.
  if (RunningOnWine()) {
    EXPECT_EQ(addresses, std::vector<std::string>{});
  }
  for (const std::string& address : addresses) EXPECT_NE(address, "");
}

}  // namespace
}  // namespace pw::test
