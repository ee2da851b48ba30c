#include "windowlogic/StoreFailureReporter.h"

#include <gtest/gtest.h>

#include "FullDiskStore.h"
#include "ScriptedPrompter.h"
#include "policy/NewStoreLayout.h"
#include "policy/ZoneProfiles.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

using test::ScriptedPrompter;

// A full disk under a path a user would have. Like the platform's registry it
// has no transactions, so a profile tries every one of its writes.
class FullDiskStore : public test::FullDiskStore {
 public:
  using test::FullDiskStore::FullDiskStore;
  LONG RegSetValueExA(HKEY key, RegName name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) override {
    ++writes;
    return test::FullDiskStore::RegSetValueExA(key, name, reserved, type, data, size);
  }
  LONG BeginTransaction() override { return ERROR_SUCCESS; }
  LONG CommitTransaction() override { return ERROR_SUCCESS; }
  void RollbackTransaction() override {}
  bool SupportsRollback() const override { return false; }
  std::string Describe() const override { return "/home/user/registry.db"; }
  int writes = 0;
};

class StoreFailureReporterTest : public testing::Test {
 protected:
  StoreFailureReporterTest() {
    LayOutNewStore(memory_);
    failing_.SetErrorSink(reporter_.Sink());
  }
  MemoryStore memory_;
  FullDiskStore failing_{memory_};
  Registry registry_{failing_};
  ScriptedPrompter prompter_;
  StoreFailureReporter reporter_{prompter_};
};

TEST_F(StoreFailureReporterTest, AWholeProfileOfFailedWritesGivesOneMessageNamingStoreAndReason) {
  {
    StoreFailureReporter::Action action(reporter_);
    WriteZoneProfile(registry_, ZoneProfile::LockedDown);
    EXPECT_TRUE(prompter_.asked.empty()) << "shown before the action ended";
  }
  ASSERT_EQ(prompter_.asked.size(), 1u);
  EXPECT_EQ(prompter_.asked[0].title, kStoreFailureTitle);
  EXPECT_NE(prompter_.asked[0].text.find("/home/user/registry.db"), std::string::npos);
  EXPECT_NE(prompter_.asked[0].text.find("database or disk is full"), std::string::npos);
  EXPECT_EQ(prompter_.asked[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(failing_.writes, 28);  // one message for all of them
}

TEST_F(StoreFailureReporterTest, NestedActionsReportOnceAtTheOutermostEndAndEachActionAnew) {
  for (int round = 1; round <= 2; ++round) {
    StoreFailureReporter::Action outer(reporter_);
    {
      StoreFailureReporter::Action inner(reporter_);
      registry_.SetRegValue(HKEY_CURRENT_USER, "Software", "x", RegData(1), REG_DWORD);
    }
    registry_.SetRegValue(HKEY_CURRENT_USER, "Software", "y", RegData(1), REG_DWORD);
    EXPECT_EQ(prompter_.asked.size(), static_cast<size_t>(round - 1));
  }
  EXPECT_EQ(prompter_.asked.size(), 2u);
}

TEST_F(StoreFailureReporterTest, AnActionWithoutFailureShowsNothingAndAStrayFailureShowsAtOnce) {
  { StoreFailureReporter::Action action(reporter_); }
  EXPECT_TRUE(prompter_.asked.empty());
  registry_.SetRegValue(HKEY_CURRENT_USER, "Software", "x", RegData(1), REG_DWORD);
  EXPECT_EQ(prompter_.asked.size(), 1u);
}

TEST_F(StoreFailureReporterTest, TypingIntoAFailingStoreGivesOneMessageUntilAKeyMeetsNoFailureOrAnActionBegins) {
  auto type = [&](bool fails) {
    StoreFailureReporter::Action typing(reporter_, StoreFailureReporter::Kind::Typing);
    if (fails) registry_.SetRegValue(HKEY_CURRENT_USER, "Software", "x", RegData(1), REG_DWORD);
  };
  for (int key = 0; key < 5; ++key) type(true);
  EXPECT_EQ(prompter_.asked.size(), 1u);
  type(false);
  type(true);
  EXPECT_EQ(prompter_.asked.size(), 2u);
  { StoreFailureReporter::Action action(reporter_); }
  type(true);
  EXPECT_EQ(prompter_.asked.size(), 3u);
}

TEST(StoreFailureMessage, TellsAReadFromAWrite) {
  std::string read = StoreFailureReporter::MessageFor({"/s.db", "read", "disk I/O error", 1});
  std::string write = StoreFailureReporter::MessageFor({"/s.db", "RegDeleteKeyA", "disk I/O error", 1});
  EXPECT_NE(read.find("could not read the store /s.db: disk I/O error."), std::string::npos) << read;
  EXPECT_NE(write.find("could not write to the store /s.db: disk I/O error."), std::string::npos) << write;
}

}  // namespace
}  // namespace pw
