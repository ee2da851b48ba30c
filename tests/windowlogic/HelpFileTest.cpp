#include "windowlogic/HelpFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace pw {
namespace {

using test::TempDir;
using test::WriteFileBytes;

TEST(ChooseHelpFile, PrefersTheCompiledHelpOnlyWhenItCanBeShown) {
  TempDir dir;
  EXPECT_EQ(ChooseHelpFile(dir.Path().string(), true), "");
  std::filesystem::create_directory(dir.Path() / "help");
  WriteFileBytes(dir.File("help/index.html"), "<html></html>");
  std::string html = std::filesystem::weakly_canonical(dir.Path() / "help" / "index.html").string();
  EXPECT_EQ(ChooseHelpFile(dir.Path().string(), true), html);
  WriteFileBytes(dir.File("Portwarden-HELP.chm"), "ITSF");
  EXPECT_EQ(ChooseHelpFile(dir.Path().string(), true), dir.File("Portwarden-HELP.chm"));
  EXPECT_EQ(ChooseHelpFile(dir.Path().string(), false), html);
}

TEST(ChooseHelpFile, FindsTheInstalledPagesBesideTheProgramsFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "bin");
  std::filesystem::create_directories(dir.Path() / "share" / "portwarden" / "help");
  WriteFileBytes(dir.File("share/portwarden/help/index.html"), "<html></html>");
  EXPECT_EQ(ChooseHelpFile(dir.File("bin"), false),
            std::filesystem::weakly_canonical(dir.Path() / "share/portwarden/help/index.html").string());
}

}  // namespace
}  // namespace pw
