// portwarden-cli import and export: what is printed, the exit codes, and that
// refused files and dry runs write nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "RegFileTestUtil.h"
#include "cli/Cli.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

namespace pw::test {
namespace {

const std::string kDomains = kDomainsPath;
const std::string kIs = kInternetSettingsPath;

class CliRun {
 public:
  explicit CliRun(RegistryStore& store, std::string input = "") : in_(std::move(input)) {
    env_.openStore = [&store](const std::optional<std::string>&) {
      OpenedStore opened;
      opened.store = std::make_unique<ForwardingStore>(store);
      return opened;
    };
  }
  int Run(std::vector<std::string> args) { return cli::RunCli(std::move(args), env_); }
  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }

 private:
  std::istringstream in_;
  std::ostringstream out_, err_;
  cli::Environment env_{in_, out_, err_};
};

std::string SitesFile() {
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\" + kDomains + "\\ads.example]\r\n\"*\"=dword:00000004\r\n"
         "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n\"x\"=\"evil.exe\"\r\n";
}

class RegFileCli : public testing::Test {
 protected:
  MemoryStore store_;
  TempDir dir_;
};

TEST_F(RegFileCli, ImportWritesManagedKeysAndNamesTheSkippedOnes) {
  std::string path = dir_.File("sites.reg");
  WriteFileBytes(path, SitesFile());
  CliRun cli(store_);
  ASSERT_EQ(cli.Run({"import", path}), cli::kExitOk) << cli.Err();
  EXPECT_EQ(ValueOf(store_, HKEY_CURRENT_USER, kDomains + "\\ads.example", "*"), Dword(4));
  EXPECT_FALSE(KeyExists(store_, HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_NE(cli.Err().find("skipped HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run (line 5)"),
            std::string::npos)
      << cli.Err();
  EXPECT_NE(cli.Out().find("1 keys written, 1 values set"), std::string::npos) << cli.Out();
  EXPECT_NE(cli.Out().find("1 keys skipped"), std::string::npos) << cli.Out();

  CliRun all(store_);
  ASSERT_EQ(all.Run({"import", "--all", path}), cli::kExitOk) << all.Err();
  EXPECT_TRUE(KeyExists(store_, HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
}

TEST_F(RegFileCli, DryRunPrintsWhatWouldBeWrittenAndSkippedAndWritesNothing) {
  std::string before = DumpStore(store_);
  CliRun cli(store_, SitesFile());
  ASSERT_EQ(cli.Run({"import", "-", "--dry-run"}), cli::kExitOk) << cli.Err();
  EXPECT_EQ(DumpStore(store_), before);
  std::string out = cli.Out();
  EXPECT_NE(out.find("write HKEY_CURRENT_USER\\" + kDomains + "\\ads.example\n  \"*\"=dword:00000004\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("would skip HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("nothing was written"), std::string::npos) << out;
}

class MalformedCli : public testing::TestWithParam<MalformedFile> {};

TEST_P(MalformedCli, WritesNothingAndNamesFileAndLine) {
  MemoryStore store;
  CliRun seed(store);
  {
    TempDir dir;
    WriteFileBytes(dir.File("seed.reg"), SitesFile());
    ASSERT_EQ(seed.Run({"import", dir.File("seed.reg")}), cli::kExitOk);
  }
  std::string before = DumpStore(store);
  TempDir dir;
  std::string path = dir.File("bad.reg");
  WriteFileBytes(path, GetParam().bytes);
  CliRun cli(store);
  EXPECT_EQ(cli.Run({"import", path, "--all"}), cli::kExitFailure);
  EXPECT_NE(cli.Err().find(path + ", line " + std::to_string(GetParam().line) + ": "), std::string::npos)
      << cli.Err();
  EXPECT_NE(cli.Err().find("nothing was imported"), std::string::npos) << cli.Err();
  EXPECT_EQ(DumpStore(store), before);
}

INSTANTIATE_TEST_SUITE_P(RegFileCli, MalformedCli, testing::ValuesIn(MalformedFiles()),
                         [](const testing::TestParamInfo<MalformedFile>& info) { return info.param.name; });

TEST_F(RegFileCli, ImportWarnsWhenTheZoneKeyGoes) {
  CliRun cli(store_, "Windows Registry Editor Version 5.00\r\n[-HKEY_CURRENT_USER\\" + kIs + "\\Zones]\r\n");
  ASSERT_EQ(cli.Run({"import", "-"}), cli::kExitOk) << cli.Err();
  EXPECT_NE(cli.Err().find("warning: line 2 deletes"), std::string::npos) << cli.Err();
}

TEST_F(RegFileCli, ImportOfAMissingFileFails) {
  CliRun cli(store_);
  EXPECT_EQ(cli.Run({"import", dir_.File("absent.reg")}), cli::kExitFailure);
  EXPECT_NE(cli.Err().find("absent.reg"), std::string::npos) << cli.Err();
  CliRun usage(store_);
  EXPECT_EQ(usage.Run({"import"}), cli::kExitUsage);
  CliRun two(store_);
  EXPECT_EQ(two.Run({"import", "a.reg", "b.reg"}), cli::kExitUsage);
}

TEST_F(RegFileCli, ExportToStandardOutputAndToAFileGiveTheSameBytes) {
  CliRun seed(store_, SitesFile());
  ASSERT_EQ(seed.Run({"import", "-"}), cli::kExitOk) << seed.Err();
  CliRun toOut(store_);
  ASSERT_EQ(toOut.Run({"export", "-"}), cli::kExitOk) << toOut.Err();
  std::string path = dir_.File("out.reg");
  CliRun toFile(store_);
  ASSERT_EQ(toFile.Run({"export", path}), cli::kExitOk) << toFile.Err();
  EXPECT_EQ(ReadFileBytes(path), toOut.Out());
  EXPECT_EQ(toOut.Out().substr(0, 4), std::string("\xFF\xFEW\0", 4));
  EXPECT_NE(toFile.Out().find("exported 4 keys and 1 values to " + path), std::string::npos) << toFile.Out();

  CliRun old(store_);
  ASSERT_EQ(old.Run({"export", "-", "--regedit4", "--key", "HKCU\\" + kDomains}), cli::kExitOk) << old.Err();
  EXPECT_EQ(old.Out(), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kDomains + "]\r\n\r\n[HKEY_CURRENT_USER\\" + kDomains +
                           "\\ads.example]\r\n\"*\"=dword:00000004\r\n\r\n");
}

TEST_F(RegFileCli, ExportOfAMissingOrMalformedKeyFailsAndWritesNoFile) {
  std::string path = dir_.File("out.reg");
  WriteFileBytes(path, "previous backup");
  CliRun missing(store_);
  EXPECT_EQ(missing.Run({"export", path, "--key", "HKLM\\Software\\Nothing"}), cli::kExitFailure);
  EXPECT_NE(missing.Err().find("HKEY_LOCAL_MACHINE\\Software\\Nothing is not in the store"), std::string::npos)
      << missing.Err();
  CliRun bad(store_);
  EXPECT_EQ(bad.Run({"export", path, "--key", "HKEY_USERS\\x"}), cli::kExitUsage);
  EXPECT_EQ(ReadFileBytes(path), "previous backup");
}

TEST_F(RegFileCli, ExportThatCannotBeWrittenAsRegedit4KeepsThePreviousFile) {
  CliRun seed(store_, "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + kDomains +
                          "\\\xE4\xBE\x8B.jp]\r\n\"*\"=dword:00000002\r\n");
  ASSERT_EQ(seed.Run({"import", "-"}), cli::kExitOk) << seed.Err();
  std::string path = dir_.File("out.reg");
  WriteFileBytes(path, "previous backup");
  CliRun cli(store_);
  EXPECT_EQ(cli.Run({"export", path, "--regedit4"}), cli::kExitFailure);
  EXPECT_NE(cli.Err().find("Windows-1252"), std::string::npos) << cli.Err();
  EXPECT_EQ(ReadFileBytes(path), "previous backup");
}

TEST_F(RegFileCli, UsageTextTellsHowToCarryZoneSettingsFromAndToWindows) {
  CliRun cli(store_);
  ASSERT_EQ(cli.Run({"--help"}), cli::kExitOk);
  EXPECT_NE(cli.Out().find("reg export \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\" file.reg"),
            std::string::npos);
  EXPECT_NE(cli.Out().find("import FILE [--all] [--dry-run]"), std::string::npos);
  EXPECT_NE(cli.Out().find("export FILE [--key KEY] [--regedit4]"), std::string::npos);
}

}  // namespace
}  // namespace pw::test
