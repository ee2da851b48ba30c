// The browser verbs as a user runs them: the button on a real store file, its
// records beside the store, naming the window program beside the command line.
#if defined(PW_HAVE_SQLITE)
#include <gtest/gtest.h>

#include "Process.h"
#include "TempDir.h"
#include "registry/KnownKeys.h"
#include "registry/Registry.h"
#include "registry/SqliteStore.h"

namespace pw::test {
namespace {

TEST(BrowserVerbs, RegisterButtonRecordsBesideTheStoreAndNamesTheWindowProgram) {
  TempDir dir;
  ProcessResult run = RunProcess(PW_CLI_BINARY, {"--store", dir.File("s.db"), "register-button"});
  ASSERT_EQ(run.code, 0) << run.err;
  std::string guid = run.out.substr(run.out.find('{'), 38);
  EXPECT_EQ(run.out, std::string("button: HKEY_LOCAL_MACHINE\\") + kExtensionsPath + "\\" + guid +
                         "\nuninstall log: " + dir.File("st6unst.log") + "\n");
  std::string log = ReadFileBytes(dir.File("st6unst.log"));
  EXPECT_NE(log.find("\\Exec\", \"portwarden\"\r\n"), std::string::npos) << log;

  SqliteStore::OpenResult opened = SqliteStore::Open(dir.File("s.db"));
  ASSERT_TRUE(opened.store) << opened.error;
  Registry registry(*opened.store);
  std::string program = PW_CLI_BINARY;
  EXPECT_EQ(registry.GetRegValue(HKEY_LOCAL_MACHINE, std::string(kExtensionsPath) + "\\" + guid, "Exec"),
            program.substr(0, program.size() - 4));
  EXPECT_EQ(registry.GetRegValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, "TrustButton"), guid);
}

TEST(BrowserVerbs, RegisterButtonAddsOnlyWithAnotherAndRemoveTakesThemAway) {
  TempDir dir;
  auto cli = [&](std::vector<std::string> words) {
    words.insert(words.begin(), {"--store", dir.File("s.db")});
    return RunProcess(PW_CLI_BINARY, words);
  };
  ProcessResult first = cli({"register-button"});
  ASSERT_EQ(first.code, 0) << first.err;
  ProcessResult again = cli({"register-button"});
  EXPECT_EQ(again.code, 0);
  EXPECT_NE(again.out.find("registered already: "), std::string::npos) << again.out;
  std::string oneButton = ReadFileBytes(dir.File("st6unst.log"));
  ASSERT_EQ(cli({"register-button", "--another"}).code, 0);
  EXPECT_EQ(ReadFileBytes(dir.File("st6unst.log")).size(), 2 * oneButton.size());

  ProcessResult removed = cli({"register-button", "--remove"});
  EXPECT_EQ(removed.code, 0) << removed.err;
  EXPECT_NE(removed.out.find(", 28 lines removed\n"), std::string::npos) << removed.out;
  EXPECT_EQ(ReadFileBytes(dir.File("st6unst.log")), "");
  ProcessResult fresh = cli({"register-button"});  // none left, so one is registered
  EXPECT_NE(fresh.out.find("button: "), std::string::npos) << fresh.out;
}

}  // namespace
}  // namespace pw::test
#endif
