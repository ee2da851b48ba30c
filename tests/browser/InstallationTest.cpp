// The installation the button names, read from the program's path.
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
}
#else
TEST(Installation, NamesTheProgramsFolderAndKeepsTheLogInTheStoresFolder) {
  Installation place = InstallationOf("/usr/bin/portwarden", "/home/ann/.local/share/portwarden");
  EXPECT_EQ(place.folder, "/usr/bin");
  EXPECT_EQ(place.executableName, "portwarden");
  EXPECT_EQ(place.logPath, "/home/ann/.local/share/portwarden/st6unst.log");
}
#endif

TEST(Installation, TheRunningProgramIsFound) {
  std::string path = RunningExecutablePath();
  EXPECT_NE(path.find("browser_tests"), std::string::npos) << path;
}

}  // namespace
}  // namespace pw::test
