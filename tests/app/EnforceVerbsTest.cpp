// The enforce verb as a user runs it on a store file: every other verb that
// writes brings the policy in step, a failure to do so fails the run after the
// store took the change, and a user without the right to the browsers' folders
// is told what to run as root.
#if defined(PW_HAVE_SQLITE)
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "Process.h"
#include "TempDir.h"

namespace pw::test {
namespace {

class EnforceVerbs : public testing::Test {
 protected:
  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", dir_.File("s.db")});
    return RunProcess(PW_CLI_BINARY, args);
  }
  std::string Managed() { return ReadFileBytes(dir_.File("policies/managed/portwarden.json")); }

  TempDir dir_;
};

TEST_F(EnforceVerbs, WritingVerbsFollowAndAFailureComesAfterTheStoreTookTheChange) {
  ASSERT_EQ(Cli({"add", "http://www.bad.test/", "--zone", "restricted"}).code, 0);
  ProcessResult on = Cli({"enforce", "on", "--policy-root", dir_.File("policies")});
  ASSERT_EQ(on.code, 0) << on.err;
  EXPECT_NE(on.out.find("for every user of this machine"), std::string::npos) << on.out;
  EXPECT_NE(Managed().find("[*.]bad.test"), std::string::npos);

  ASSERT_EQ(Cli({"add", "https://www.good.test/", "--zone", "trusted", "--protocols", "https"}).code, 0);
  ASSERT_EQ(Cli({"secure"}).code, 0);
  EXPECT_NE(Managed().find("\"https://www.good.test:*\""), std::string::npos) << Managed();
  EXPECT_NE(Managed().find("\"DefaultJavaScriptSetting\": 2"), std::string::npos) << Managed();
  ProcessResult status = Cli({"enforce", "status"});
  EXPECT_EQ(status.code, 0) << status.out;
  EXPECT_NE(status.out.find("in step"), std::string::npos) << status.out;
  ProcessResult show = Cli({"enforce", "show"});
  EXPECT_EQ(show.out.rfind("{\"managed\": {\n  \"DefaultJavaScriptSetting\": 2,", 0), 0u) << show.out;

  std::filesystem::remove_all(dir_.File("s.db.policy"));
  WriteFileBytes(dir_.File("s.db.policy"), "in the way");
  ProcessResult failed = Cli({"set", "--domain", "bad.test", "--zone", "trusted"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_NE(failed.err.find("the change is saved in the store " + dir_.File("s.db") +
                            ", but the browsers' policy is not in step with it"),
            std::string::npos)
      << failed.err;
  EXPECT_NE(Cli({"list", "--format", "tsv"}).out.find("Default\t\tbad.test\t2\t2\tTrusted"), std::string::npos);
  EXPECT_EQ(Cli({"enforce", "status"}).code, 1);
  EXPECT_EQ(Cli({"enforce", "off", "--copy"}).code, 2);
}

TEST_F(EnforceVerbs, AMissingLinkFailsTheNextWriteAndStatusNamesTheRepair) {
  ASSERT_EQ(Cli({"enforce", "on", "--policy-root", dir_.File("policies")}).code, 0);
  ASSERT_EQ(::unlink(dir_.File("policies/recommended/portwarden.json").c_str()), 0);
  ProcessResult add = Cli({"add", "http://www.bad.test/", "--zone", "restricted"});
  EXPECT_EQ(add.code, 1);
  EXPECT_NE(add.err.find("enforce on --policy-root " + dir_.File("policies")), std::string::npos) << add.err;
  ProcessResult status = Cli({"enforce", "status"});
  EXPECT_EQ(status.code, 1);
  EXPECT_NE(status.out.find("missing: " + dir_.File("policies/recommended/portwarden.json")), std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("enforce on --policy-root " + dir_.File("policies")), std::string::npos) << status.out;
}

TEST_F(EnforceVerbs, AUserWhoCannotWriteTheFoldersIsToldWhatToRunAsRoot) {
  ::chmod(dir_.Path().c_str(), 0777);
  ASSERT_EQ(Cli({"default", "--yes"}).code, 0);
  ::chmod(dir_.File("s.db").c_str(), 0666);
  std::vector<std::string> args = {"--store", dir_.File("s.db"), "enforce", "on", "--browsers", "chromium"};
  ProcessResult run;
  if (::geteuid() == 0) {
    args.insert(args.begin(), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", PW_CLI_BINARY});
    run = RunProcess("/usr/bin/setpriv", args);
  } else {
    run = RunProcess(PW_CLI_BINARY, args);
  }
  EXPECT_EQ(run.code, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("Run as root:\n  sudo portwarden-cli --store " + dir_.File("s.db") +
                         " enforce on --browsers chromium"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Cli({"enforce", "status"}).out, "enforcement: off\n");
}

}  // namespace
}  // namespace pw::test
#endif
