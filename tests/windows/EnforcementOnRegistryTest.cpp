// Enforcement on Windows: portwarden-cli.exe puts the zone map into the
// browsers' policy keys of the real registry, each later write brings them in
// step, and reg.exe, in a process of its own, reads what a browser would. The
// keys touched are set aside before the case and put back after it.
#include <gtest/gtest.h>

#include <utility>

#include "Platform.h"
#include "RegistryCopy.h"
#include "registry/KnownKeys.h"
#include "registry/Win32Store.h"

namespace pw::test {
namespace {

constexpr const char* kChromiumPolicies = "Software\\Policies\\Chromium";

class EnforcementOnRegistry : public testing::Test {
 protected:
  void SetUp() override {
    for (auto [hive, path] : Touched()) {
      copies_.push_back({hive, path, CopyKey(store_, hive, path)});
      ASSERT_EQ(DeleteKeyTree(store_, hive, path), ERROR_SUCCESS) << path;
    }
  }
  void TearDown() override {
    for (const Aside& aside : copies_) EXPECT_TRUE(RestoreKey(store_, aside.hive, aside.path, aside.copy)) << aside.path;
  }
  static std::vector<std::pair<HKEY, std::string>> Touched() {
    return {{HKEY_LOCAL_MACHINE, kChromiumPolicies}, {HKEY_LOCAL_MACHINE, kProgramKeyPath},
            {HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\bad.example"},
            {HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\good.example"}};
  }
  void Cli(const std::string& arguments) {
    ProgramResult run = RunProgram("\"" + ProgramFolder() + "portwarden-cli.exe\" " + arguments);
    ASSERT_EQ(run.exitCode, 0) << "portwarden-cli " << arguments << "\n" << run.output;
  }
  std::string Query(const std::string& key) {
    return RunProgram("reg.exe query \"HKLM\\" + std::string(kChromiumPolicies) + key + "\"").output;
  }

  struct Aside {
    HKEY hive;
    std::string path;
    KeyCopy copy;
  };
  Win32Store store_;
  std::vector<Aside> copies_;
};

TEST_F(EnforcementOnRegistry, ThePolicyKeysFollowTheZoneMapAndKeepAnAdministratorsEntry) {
  ASSERT_EQ(RunProgram("reg.exe add \"HKLM\\" + std::string(kChromiumPolicies) +
                       "\\JavaScriptBlockedForUrls\" /v 1 /t REG_SZ /d admin.example /f")
                .exitCode,
            0);
  Cli("add http://www.bad.example/ --zone restricted");
  Cli("secure");
  Cli("enforce on --browsers chromium");
  std::string blocked = Query("\\JavaScriptBlockedForUrls");
  EXPECT_NE(blocked.find("admin.example"), std::string::npos) << blocked;
  EXPECT_NE(blocked.find("[*.]bad.example"), std::string::npos) << blocked;
  std::string policies = Query("");
  EXPECT_NE(policies.find("DefaultJavaScriptSetting"), std::string::npos) << policies;
  EXPECT_NE(policies.find("0x2"), std::string::npos) << policies;

  Cli("add https://www.good.example/ --zone trusted --protocols https");
  std::string allowed = Query("\\JavaScriptAllowedForUrls");
  EXPECT_NE(allowed.find("    1    REG_SZ    https://www.good.example:*"), std::string::npos) << allowed;

  Cli("enforce off");
  blocked = Query("\\JavaScriptBlockedForUrls");
  EXPECT_NE(blocked.find("admin.example"), std::string::npos) << blocked;
  EXPECT_EQ(blocked.find("bad.example"), std::string::npos) << blocked;
  EXPECT_EQ(Query("").find("DefaultJavaScriptSetting"), std::string::npos);
}

}  // namespace
}  // namespace pw::test
