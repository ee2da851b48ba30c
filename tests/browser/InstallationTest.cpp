// The installation the button names on Windows (the Linux one is checked
// through portwarden-cli in tests/app).
#include <gtest/gtest.h>

#include "browser/Installation.h"

namespace pw::test {
namespace {

#if defined(_WIN32)
TEST(Installation, NamesTheExecutableByItsBaseNameAndKeepsTheLogBesideIt) {
  Installation place = InstallationOf("C:\\Program Files\\Portwarden\\Portwarden2005.EXE", "");
  EXPECT_EQ(place.folder, "C:\\Program Files\\Portwarden");
  EXPECT_EQ(place.executableName, "Portwarden2005.exe");
  EXPECT_EQ(place.logPath, "C:\\Program Files\\Portwarden\\st6unst.log");
  EXPECT_EQ(InstallationOf("D:\\pw.exe", "").logPath, "D:\\st6unst.log");
  EXPECT_NE(RunningExecutablePath().find("browser_tests.exe"), std::string::npos);
}
#endif

}  // namespace
}  // namespace pw::test
