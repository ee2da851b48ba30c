// What portwarden-cli.exe writes is what the browser's zone logic honours: each
// check runs our program, then asks urlmon (zone-probe.exe) or reg.exe in a
// process of its own, as the browser would read the registry. The keys touched
// are copied before each case and put back after it.
#include <gtest/gtest.h>

#include <utility>

#include "Platform.h"
#include "registry/Enumeration.h"
#include "registry/KnownKeys.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

// A key with its values and subkeys as they were, to be put back.
struct KeyCopy {
  bool exists = false;
  std::vector<EnumeratedValue> values;
  std::vector<std::pair<std::string, KeyCopy>> subkeys;
};

KeyCopy Take(RegistryStore& store, const std::string& path) {
  KeyCopy copy;
  HKEY key = 0;
  if (store.RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return copy;
  copy.exists = true;
  ForEachValue(store, key, [&](const EnumeratedValue& value) {
    copy.values.push_back(value);
    return true;
  });
  std::vector<std::string> names;
  ForEachSubkey(store, key, [&](const std::string& name) {
    names.push_back(name);
    return true;
  });
  store.RegCloseKey(key);
  for (const std::string& name : names)
    copy.subkeys.emplace_back(name, Take(store, path + "\\" + name));
  return copy;
}

void PutBack(RegistryStore& store, const std::string& path, const KeyCopy& copy) {
  DeleteTree(path);
  if (!copy.exists) return;
  HKEY key = 0;
  ASSERT_EQ(store.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, kAccess3F, nullptr, &key,
                                  nullptr),
            ERROR_SUCCESS)
      << path;
  for (const EnumeratedValue& value : copy.values)
    store.RegSetValueExA(key, value.name, 0, value.type,
                         reinterpret_cast<const BYTE*>(value.data.data()),
                         static_cast<DWORD>(value.data.size()));
  store.RegCloseKey(key);
  for (const auto& [name, subkey] : copy.subkeys) PutBack(store, path + "\\" + name, subkey);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

class ZoneConsumer : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& path : Touched()) copies_.emplace_back(path, Take(store_, path));
  }
  void TearDown() override {
    for (const auto& [path, copy] : copies_) PutBack(store_, path, copy);
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
