// portwarden-cli import and export: what is printed, the exit codes, and that
// refused files and dry runs write nothing.
#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "RegFileTestUtil.h"
#include "policy/NewStoreLayout.h"
#include "registry/KnownKeys.h"

namespace pw::test {
namespace {

const std::string kDomains = kDomainsPath;
const std::string kIs = kInternetSettingsPath;

std::string SitesFile() {
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\" + kDomains + "\\ads.example]\r\n\"*\"=dword:00000004\r\n"
         "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"x\"=\"evil.exe\"\r\n";
}

class RegFileCli : public testing::Test {
 protected:
  RegistryStore& S() { return cli_.Store(); }
  CliHarness cli_;
  TempDir dir_;
};

TEST_F(RegFileCli, ImportWritesManagedKeysAndNamesTheSkippedOnes) {
  std::string path = dir_.File("sites.reg");
  WriteFileBytes(path, SitesFile());
  CliResult run = cli_.Run({"import", path});
  ASSERT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_EQ(ValueOf(S(), HKEY_CURRENT_USER, kDomains + "\\ads.example", "*"), Dword(4));
  EXPECT_FALSE(KeyExists(S(), HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_NE(run.err.find("skipped HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run (line 5): not a key "
                         "this program manages (--all imports it)"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("1 key written, 1 value set"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("1 key skipped"), std::string::npos) << run.out;

  CliResult all = cli_.Run({"import", "--all", path});
  ASSERT_EQ(all.code, cli::kExitOk) << all.err;
  EXPECT_TRUE(KeyExists(S(), HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
}

TEST_F(RegFileCli, DryRunPrintsWhatWouldBeWrittenAndSkippedAndWritesNothing) {
  std::string before = DumpStore(S());
  CliResult run = cli_.Run({"import", "-", "--dry-run"}, SitesFile());
  ASSERT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_EQ(DumpStore(S()), before);
  EXPECT_NE(run.out.find("write HKEY_CURRENT_USER\\" + kDomains + "\\ads.example\n  \"*\"=dword:00000004\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("would skip HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("nothing was written"), std::string::npos) << run.out;
}

class MalformedCli : public testing::TestWithParam<MalformedFile> {};

TEST_P(MalformedCli, WritesNothingAndNamesFileAndLine) {
  CliHarness cli;
  ASSERT_EQ(cli.Run({"import", "-"}, SitesFile()).code, cli::kExitOk);
  std::string before = DumpStore(cli.Store());
  TempDir dir;
  std::string path = dir.File("bad.reg");
  WriteFileBytes(path, GetParam().bytes);
  CliResult run = cli.Run({"import", path, "--all"});
  EXPECT_EQ(run.code, cli::kExitFailure);
  EXPECT_NE(run.err.find(path + ", line " + std::to_string(GetParam().line) + ": "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("nothing was imported"), std::string::npos) << run.err;
  EXPECT_EQ(DumpStore(cli.Store()), before);
}

INSTANTIATE_TEST_SUITE_P(RegFileCli, MalformedCli, testing::ValuesIn(MalformedFiles()),
                         [](const testing::TestParamInfo<MalformedFile>& info) { return info.param.name; });

TEST_F(RegFileCli, ImportWarnsWhenTheZoneKeyGoes) {
  CliResult run =
      cli_.Run({"import", "-"}, "Windows Registry Editor Version 5.00\r\n[-HKEY_CURRENT_USER\\" + kIs + "\\Zones]\r\n");
  ASSERT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_NE(run.err.find("warning: line 2 deletes"), std::string::npos) << run.err;
}

TEST_F(RegFileCli, ImportOfAMissingFileFails) {
  CliResult missing = cli_.Run({"import", dir_.File("absent.reg")});
  EXPECT_EQ(missing.code, cli::kExitFailure);
  EXPECT_NE(missing.err.find("absent.reg"), std::string::npos) << missing.err;
  EXPECT_EQ(cli_.Run({"import"}).code, cli::kExitUsage);
  EXPECT_EQ(cli_.Run({"import", "a.reg", "b.reg"}).code, cli::kExitUsage);
}

TEST_F(RegFileCli, ExportToStandardOutputAndToAFileGiveTheSameBytes) {
  ASSERT_EQ(cli_.Run({"import", "-"}, SitesFile()).code, cli::kExitOk);
  CliResult toOut = cli_.Run({"export", "-"});
  ASSERT_EQ(toOut.code, cli::kExitOk) << toOut.err;
  std::string path = dir_.File("out.reg");
  CliResult toFile = cli_.Run({"export", path});
  ASSERT_EQ(toFile.code, cli::kExitOk) << toFile.err;
  EXPECT_EQ(ReadFileBytes(path), toOut.out);
  EXPECT_EQ(toOut.out.substr(0, 4), std::string("\xFF\xFEW\0", 4));
  EXPECT_NE(toFile.out.find("exported 4 keys and 1 value to " + path), std::string::npos) << toFile.out;

  CliResult old = cli_.Run({"export", "-", "--regedit4", "--key", "HKCU\\" + kDomains});
  ASSERT_EQ(old.code, cli::kExitOk) << old.err;
  EXPECT_EQ(old.out, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kDomains + "]\r\n\r\n[HKEY_CURRENT_USER\\" + kDomains +
                         "\\ads.example]\r\n\"*\"=dword:00000004\r\n\r\n");
}

TEST_F(RegFileCli, ExportWarnsOfAMissingDefaultKeyOnlyWhereAFreshStoreHasIt) {
  CliResult bare = cli_.Run({"export", "-"});
  ASSERT_EQ(bare.code, cli::kExitOk) << bare.err;
  EXPECT_NE(bare.err.find("HKEY_CURRENT_USER\\" + kIs + " is not in the store"), std::string::npos) << bare.err;
  EXPECT_EQ(bare.err.find("HKEY_LOCAL_MACHINE\\" + kIs + " is not"), std::string::npos) << bare.err;
  LayOutNewStore(S());
  CliResult fresh = cli_.Run({"export", "-"});
  EXPECT_EQ(fresh.err.find("not in the store"), std::string::npos) << fresh.err;
}

TEST_F(RegFileCli, ExportOfAMissingOrMalformedKeyFailsAndWritesNoFile) {
  std::string path = dir_.File("out.reg");
  WriteFileBytes(path, "previous backup");
  CliResult missing = cli_.Run({"export", path, "--key", "HKLM\\Software\\Nothing"});
  EXPECT_EQ(missing.code, cli::kExitFailure);
  EXPECT_NE(missing.err.find("HKEY_LOCAL_MACHINE\\Software\\Nothing is not in the store"), std::string::npos)
      << missing.err;
  EXPECT_EQ(cli_.Run({"export", path, "--key", "HKEY_USERS\\x"}).code, cli::kExitUsage);
  EXPECT_EQ(ReadFileBytes(path), "previous backup");
}

// Needs store text outside Windows-1252, which the store holds where its text
// is UTF-8 (on Windows it is the system code page).
#if !defined(_WIN32)
TEST_F(RegFileCli, ExportThatCannotBeWrittenAsRegedit4KeepsThePreviousFile) {
  ASSERT_EQ(cli_.Run({"import", "-"}, "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + kDomains +
                                          "\\\xE4\xBE\x8B.jp]\r\n\"*\"=dword:00000002\r\n")
                .code,
            cli::kExitOk);
  std::string path = dir_.File("out.reg");
  WriteFileBytes(path, "previous backup");
  CliResult run = cli_.Run({"export", path, "--regedit4"});
  EXPECT_EQ(run.code, cli::kExitFailure);
  EXPECT_NE(run.err.find("portwarden-cli: the name of the key HKEY_CURRENT_USER\\" + kDomains +
                         "\\\xE4\xBE\x8B.jp cannot be written as Windows-1252"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFileBytes(path), "previous backup");
  run = cli_.Run({"export", path, "--regedit4", "--skip-unwritable"});
  EXPECT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_NE(run.err.find("not exported: the name of the key"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(path).rfind("REGEDIT4\r\n", 0), 0u);
}
#endif

TEST_F(RegFileCli, VerbHelpTellsHowToCarryZoneSettingsFromAndToWindows) {
  CliResult run = cli_.Run({"import", "--help"});
  ASSERT_EQ(run.code, cli::kExitOk);
  EXPECT_NE(run.out.find(" import FILE [--all] [--dry-run]\n       portwarden-cli "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" import FILE --policy [--dry-run]\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("reg export \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\""),
            std::string::npos);
  EXPECT_EQ(cli_.Run({"help", "import"}).out, run.out);
}

}  // namespace
}  // namespace pw::test
