// portwarden-cli export --policy / --policy-list and import --policy: the
// wiring of the files, what is printed, and that refused files write nothing.
#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "RegFileTestUtil.h"
#include "policy/NewStoreLayout.h"
#include "registry/KnownKeys.h"

namespace pw::test {
namespace {

class PolicyCli : public testing::Test {
 protected:
  PolicyCli() {
    LayOutNewStore(cli_.Store());
    EXPECT_EQ(cli_.Run({"add", "http://www.example.com/", "--zone", "trusted"}).code, cli::kExitOk);
    EXPECT_EQ(cli_.Run({"secure"}).code, cli::kExitOk);
  }
  CliHarness cli_;
  TempDir dir_;
};

TEST_F(PolicyCli, APolicyExportedHereIsImportedElsewhere) {
  std::string path = dir_.File("Registry.pol");
  CliResult exported = cli_.Run({"export", "--policy", path});
  ASSERT_EQ(exported.code, cli::kExitOk) << exported.err;
  EXPECT_NE(exported.out.find("a policy of 40 entries to " + path + ": site list: 1 site; Internet zone: secured"),
            std::string::npos)
      << exported.out;
  EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "PReg");
  CliResult list = cli_.Run({"export", "-", "--policy-list"});
  EXPECT_EQ(list.out, "*://*.example.com\t2\r\n");

  CliHarness elsewhere;
  CliResult imported = elsewhere.Run({"import", path, "--policy"});
  ASSERT_EQ(imported.code, cli::kExitOk) << imported.err;
  // What our own export writes beside the site list is no skipped entry.
  EXPECT_NE(imported.out.find("imported 1 listing from " + path + " into memory, 0 skipped; left alone 38 entries"),
            std::string::npos)
      << imported.out;
  EXPECT_EQ(imported.err.find("skipped"), std::string::npos) << imported.err;
  EXPECT_EQ(ValueOf(elsewhere.Store(), HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\example.com", "*"), Dword(2));
}

TEST_F(PolicyCli, AMalformedPolicyWritesNothing) {
  std::string path = dir_.File("Registry.pol");
  ASSERT_EQ(cli_.Run({"export", path, "--policy"}).code, cli::kExitOk);
  std::string bytes = ReadFileBytes(path);
  WriteFileBytes(path, bytes.substr(0, bytes.size() - 1));
  CliHarness elsewhere;
  std::string before = DumpStore(elsewhere.Store());
  CliResult run = elsewhere.Run({"import", path, "--policy"});
  EXPECT_EQ(run.code, cli::kExitFailure);
  EXPECT_NE(run.err.find(path + ", entry 40 (byte "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("nothing was imported"), std::string::npos) << run.err;
  EXPECT_EQ(DumpStore(elsewhere.Store()), before);
}

TEST_F(PolicyCli, OptionsOfTheOtherFormAreUsageErrors) {
  EXPECT_EQ(cli_.Run({"export", "x.pol", "--policy", "--regedit4"}).code, cli::kExitUsage);
  EXPECT_EQ(cli_.Run({"export", "x.pol", "--policy", "--policy-list"}).code, cli::kExitUsage);
  EXPECT_EQ(cli_.Run({"import", "x.pol", "--policy", "--all"}).code, cli::kExitUsage);
}

}  // namespace
}  // namespace pw::test
