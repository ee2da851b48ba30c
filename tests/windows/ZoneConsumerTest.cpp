// What portwarden-cli.exe writes is what the browser's zone logic honours: each
// check runs our program, then asks urlmon (zone-probe.exe) or reg.exe in a
// process of its own, as the browser would read the registry. The keys touched
// are copied before each case and put back after it.
#include <gtest/gtest.h>

#include <utility>

#include "Platform.h"
#include "RegistryCopy.h"
#include "registry/KnownKeys.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

class ZoneConsumer : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& path : Touched())
      copies_.emplace_back(path, CopyKey(store_, HKEY_CURRENT_USER, path));
    // The sites start unlisted.
    for (const std::string& path : Touched()) {
      if (path != kZonePath) {
        ASSERT_EQ(DeleteKeyTree(store_, HKEY_CURRENT_USER, path), ERROR_SUCCESS) << path;
      }
    }
  }
  void TearDown() override {
    for (const auto& [path, copy] : copies_)
      EXPECT_TRUE(RestoreKey(store_, HKEY_CURRENT_USER, path, copy)) << path;
  }

  static std::vector<std::string> Touched() {
    std::string domains = kDomainsPath;
    return {kZonePath, domains + "\\example.com", domains + "\\example.org",
            domains + "\\test.example"};
  }

  // Runs portwarden-cli.exe with the arguments; fails the case when it fails.
  void Cli(const std::string& arguments) {
    ProgramResult run = RunProgram("\"" + ProgramFolder() + "portwarden-cli.exe\" " + arguments);
    ASSERT_EQ(run.exitCode, 0) << "portwarden-cli " << arguments << "\n" << run.output;
  }
  // urlmon's answer, from a process of its own.
  std::string Probe(const std::string& arguments) {
    ProgramResult run = RunProgram("\"" + ProgramFolder() + "zone-probe.exe\" " + arguments);
    EXPECT_EQ(run.exitCode, 0) << "zone-probe " << arguments << "\n" << run.output;
    return Trimmed(run.output);
  }
  // What reg.exe shows for one value of the Internet zone key.
  std::string ZoneValueShown(const std::string& name) {
    ProgramResult run =
        RunProgram("reg.exe query \"HKCU\\" + std::string(kZonePath) + "\" /v " + name);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return run.output;
  }

  Win32Store store_;
  std::vector<std::pair<std::string, KeyCopy>> copies_;
};

constexpr const char* kInternetZone = "3";
constexpr const char* kRunActiveX = "1200";  // hexadecimal, URLACTION_ACTIVEX_RUN

TEST_F(ZoneConsumer, TheBrowserFollowsTheProfileWritten) {
  Cli("secure");
  EXPECT_EQ(Probe(std::string("policy ") + kInternetZone + " " + kRunActiveX), "3");  // disallow
  Cli("default --yes");
  EXPECT_EQ(Probe(std::string("policy ") + kInternetZone + " " + kRunActiveX), "0");  // allow
  Cli("prompt");
  EXPECT_EQ(Probe(std::string("policy ") + kInternetZone + " " + kRunActiveX), "1");  // prompt
}

TEST_F(ZoneConsumer, RegShowsTheValuesAsWritten) {
  Cli("secure");
  std::string shown = ZoneValueShown("1200");
  EXPECT_NE(shown.find("REG_DWORD"), std::string::npos) << shown;
  EXPECT_NE(shown.find("0x3"), std::string::npos) << shown;
  shown = ZoneValueShown("1C00");
  EXPECT_NE(shown.find("REG_BINARY"), std::string::npos) << shown;
  EXPECT_NE(shown.find("00000000"), std::string::npos) << shown;
  EXPECT_NE(ZoneValueShown("1E05").find("0x10000"), std::string::npos);

  Cli("default --yes");
  EXPECT_NE(ZoneValueShown("1200").find("0x0"), std::string::npos);
  EXPECT_NE(ZoneValueShown("1A00").find("0x7960"), std::string::npos);  // 31072
  EXPECT_NE(ZoneValueShown("1C00").find("00000100"), std::string::npos);
}

TEST_F(ZoneConsumer, TheBrowserPutsEachAddressInTheZoneListed) {
  // Generalised: the domain's "*" value covers the domain and every subdomain.
  Cli("add https://www.example.com/x --zone restricted");
  EXPECT_EQ(Probe("map https://www.example.com/x"), "4");
  EXPECT_EQ(Probe("map http://example.com/"), "4");
  Cli("add https://www.example.com/x --zone trusted");
  EXPECT_EQ(Probe("map https://www.example.com/x"), "2");
  // Per protocol: only the protocol listed, in the exact subdomain's key.
  Cli("add https://www.example.org/ --zone trusted --protocols https");
  EXPECT_EQ(Probe("map https://www.example.org/"), "2");
  EXPECT_EQ(Probe("map http://www.example.org/"), "3");
  Cli("add http://test.example/ --zone restricted --protocols http");
  EXPECT_EQ(Probe("map http://test.example/"), "4");
  EXPECT_EQ(Probe("map http://unlisted.example.net/"), "3");  // the Internet zone

  ProgramResult shown = RunProgram("reg.exe query \"HKCU\\" + std::string(kDomainsPath) +
                                   "\\example.org\\www\" /v https");
  EXPECT_EQ(shown.exitCode, 0) << shown.output;
  EXPECT_NE(shown.output.find("REG_DWORD"), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("0x2"), std::string::npos) << shown.output;
}

TEST(WindowsCommandLine, RefusesAStoreFileAndWorksOnTheRegistry) {
  ProgramResult run =
      RunProgram("\"" + ProgramFolder() + "portwarden-cli.exe\" --store x.db status");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("not supported on Windows"), std::string::npos) << run.output;
  run = RunProgram("\"" + ProgramFolder() + "portwarden-cli.exe\" status");
  EXPECT_EQ(run.exitCode, 0) << run.output;
}

}  // namespace
}  // namespace pw::test
