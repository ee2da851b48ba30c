// status, secure, prompt and default from the command line.
#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/KnownKeys.h"

namespace pw::test {
namespace {

class ZoneVerbs : public testing::Test {
 protected:
  void SetUp() override { LayOutNewStore(cli_.Store()); }
  ZoneSecurityState State() {
    Registry registry(cli_.Store());
    return DetectZoneSecurity(registry);
  }
  CliHarness cli_;
};

TEST_F(ZoneVerbs, EachProfileVerbPrintsTheStateReadBack) {
  EXPECT_EQ(cli_.Run({"status"}).out, "unsecured\n");
  CliResult secure = cli_.Run({"secure"});
  EXPECT_EQ(secure.code, 0);
  EXPECT_EQ(secure.out, "secured\n");
  CliResult prompt = cli_.Run({"prompt"});
  EXPECT_EQ(prompt.code, 0);
  EXPECT_EQ(prompt.out, "semi-secured\n");
  EXPECT_EQ(cli_.Run({"status"}).out, "semi-secured\n");
  CliResult defaults = cli_.Run({"default", "--yes"});
  EXPECT_EQ(defaults.code, 0);
  EXPECT_EQ(defaults.out, "unsecured\n");
}

TEST_F(ZoneVerbs, DefaultAsksOnTheTerminalAndWritesOnlyOnYes) {
  cli_.Run({"secure"});
  CliResult no = cli_.Run({"default"}, "n\n", true);
  EXPECT_EQ(no.code, 1);
  EXPECT_NE(no.err.find("Confirm Disable Security"), std::string::npos);
  EXPECT_NE(no.err.find("Are you sure you wish to proceed?"), std::string::npos);
  EXPECT_EQ(State(), ZoneSecurityState::Secured);
  CliResult yes = cli_.Run({"default"}, "y\n", true);
  EXPECT_EQ(yes.code, 0);
  EXPECT_EQ(State(), ZoneSecurityState::Unsecured);
}

TEST_F(ZoneVerbs, DefaultWithoutATerminalOrAnAnswerWritesNothing) {
  cli_.Run({"secure"});
  EXPECT_EQ(cli_.Run({"default"}, "y\n", false).code, 1);  // input that is not a terminal is not asked
  EXPECT_EQ(cli_.Run({"default"}, "", true).code, 1);      // end of input
  EXPECT_EQ(State(), ZoneSecurityState::Secured);
}

TEST_F(ZoneVerbs, AProfileThatDoesNotReadBackFailsAndSaysWhy) {
  HKEY zones = 0;
  cli_.Store().RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones", &zones);
  cli_.Store().RegDeleteKeyA(zones, "3");
  cli_.Store().RegCloseKey(zones);
  CliResult secure = cli_.Run({"secure"});
  EXPECT_EQ(secure.code, 1);
  EXPECT_EQ(secure.out, "unsecured\n");
  EXPECT_NE(secure.err.find("is missing from the store"), std::string::npos) << secure.err;
  EXPECT_NE(secure.err.find(kZonePath), std::string::npos);
}

TEST_F(ZoneVerbs, AProfileTheStoreCannotWriteFailsNamingTheStoreAndLeavesTheZone) {
  cli_.wrap = [](RegistryStore& store) {
    auto made = std::make_unique<FailingStore>(store);
    made->failWrites = true;
    return made;
  };
  CliResult secure = cli_.Run({"secure"});
  EXPECT_EQ(secure.code, 1);
  EXPECT_EQ(secure.out, "unsecured\n");
  EXPECT_NE(secure.err.find("cannot write the locked-down profile into the store memory: 112 (disk full)"),
            std::string::npos)
      << secure.err;
}

TEST_F(ZoneVerbs, UsageErrorsExitWithTwo) {
  EXPECT_EQ(cli_.Run({}).code, 2);
  EXPECT_EQ(cli_.Run({"frobnicate"}).code, 2);
  EXPECT_EQ(cli_.Run({"status", "--bogus"}).code, 2);
  EXPECT_EQ(cli_.Run({"status", "extra"}).code, 2);
  EXPECT_EQ(cli_.Run({"--store"}).code, 2);
  // A usage error is one line and where the help is, not the help itself.
  CliResult bad = cli_.Run({"add", "www.example.com", "--zone", "green"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err,
            "portwarden-cli add: --zone takes trusted, unclassified or restricted (or 2, 3, 4), not 'green'\n"
            "see 'portwarden-cli add --help'\n");
  EXPECT_EQ(cli_.Run({}).err, "portwarden-cli: give a verb\nsee 'portwarden-cli --help'\n");
  CliResult help = cli_.Run({"default", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("usage: portwarden-cli ", 0), 0u) << help.out;
  EXPECT_NE(help.out.find(" default [--yes]\n"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("options:\n  --yes "), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("example:\n  portwarden-cli default --yes\n"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace pw::test
