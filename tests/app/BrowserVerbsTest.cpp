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

}  // namespace
}  // namespace pw::test
#endif
