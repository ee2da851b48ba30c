// The store that follows writes under watched keys: once per landed write or
// outermost transaction, told which subkeys changed, never for writes elsewhere
// or for its own.
#include <gtest/gtest.h>

#include "registry/FollowUpStore.h"
#include "registry/KeyTree.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

constexpr const char* kWatched = "Software\\Watched\\Map";

class FollowUp : public testing::Test {
 protected:
  FollowUp()
      : store_(std::make_unique<MemoryStore>(), {{HKEY_CURRENT_USER, kWatched}},
               [this](RegistryStore& inner, const std::vector<FollowUpStore::Changes>* changes) {
                 runs_.push_back(changes ? changes->front() : FollowUpStore::Changes{true, {}});
                 // Its own write below the watched key must not start it again.
                 Registry(inner).SetRegValue(HKEY_CURRENT_USER, std::string(kWatched) + "\\mine", "v", 1, REG_DWORD);
                 return failure_;
               }),
        registry_(store_) {
    store_.SetErrorSink([this](const StoreFailure& failure) { reported_.push_back(failure); });
    for (const char* path : {"Software\\Watched\\Map\\a.com\\www", "Software\\Watched\\Map\\b.com",
                             "Software\\Watched\\Map\\c.com", "Software\\Watched\\Map\\mine", "Software\\Other"})
      store_.RegCloseKey(registry_.CreateRegKey(HKEY_CURRENT_USER, path));
  }

  void Set(const std::string& path, const char* name = "*") {
    registry_.SetRegValue(HKEY_CURRENT_USER, path, name, 4, REG_DWORD);
  }

  FollowUpStore store_;
  Registry registry_;
  std::vector<FollowUpStore::Changes> runs_;
  std::vector<StoreFailure> reported_;
  std::optional<StoreFailure> failure_;
};

TEST_F(FollowUp, EachLandedWriteUnderTheKeyIsFollowedWithTheSubkeyItWentInto) {
  Set("Software\\Watched\\Map\\a.com\\www");
  Set("Software\\Other");
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].below, std::vector<std::string>{"a.com"});
  EXPECT_FALSE(runs_[0].itself);

  // Reached from a key above the watched one, and by deleting a key.
  HKEY above = registry_.OpenRegKey(HKEY_CURRENT_USER, "SOFTWARE\\watched");
  HKEY www = 0;
  ASSERT_EQ(store_.RegOpenKeyA(above, "Map\\A.COM\\www", &www), ERROR_SUCCESS);
  EXPECT_EQ(store_.RegDeleteValueA(www, "*"), ERROR_SUCCESS);
  store_.RegCloseKey(www);
  EXPECT_EQ(store_.RegDeleteKeyA(above, "Map\\a.com\\www"), ERROR_SUCCESS);
  EXPECT_EQ(store_.RegDeleteValueA(above, "absent"), ERROR_FILE_NOT_FOUND);  // nothing landed
  store_.RegCloseKey(above);
  Set(kWatched, "x");
  ASSERT_EQ(runs_.size(), 4u);
  EXPECT_EQ(runs_[1].below, std::vector<std::string>{"A.COM"});
  EXPECT_EQ(runs_[2].below, std::vector<std::string>{"a.com"});
  EXPECT_TRUE(runs_[3].itself);
}

TEST_F(FollowUp, ATransactionIsFollowedOnceAtItsOutermostCommitAndNotAfterARollback) {
  store_.BeginTransaction();
  store_.BeginTransaction();
  Set("Software\\Watched\\Map\\a.com");
  Set("Software\\Watched\\Map\\b.com");
  Set("Software\\Watched\\Map\\A.com\\www");
  store_.CommitTransaction();
  EXPECT_TRUE(runs_.empty());
  store_.CommitTransaction();
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].below, (std::vector<std::string>{"a.com", "b.com"}));

  store_.BeginTransaction();
  Set("Software\\Watched\\Map\\c.com");
  store_.RollbackTransaction();
  EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(FollowUp, ManySubkeysInOneTransactionAreEachToldOnceInTheOrderFirstWritten) {
  const std::string map = std::string(kWatched) + "\\";
  std::vector<std::string> names;
  store_.BeginTransaction();
  for (int i = 0; i < 100; ++i) {
    names.push_back("site" + std::to_string(i) + ".com");
    store_.RegCloseKey(registry_.CreateRegKey(HKEY_CURRENT_USER, map + names.back()));
    Set(map + names.back());
  }
  for (int i = 99; i >= 0; --i) Set(map + "SITE" + std::to_string(i) + ".COM");
  store_.CommitTransaction();
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].below, names);
}

TEST_F(FollowUp, AFailureOfTheFollowUpIsReportedAfterTheWriteLanded) {
  failure_ = StoreFailure{"s", "the browsers' policy", "cannot write", 0};
  Set("Software\\Watched\\Map\\a.com");
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_TRUE(reported_[0].afterWrite);
  EXPECT_EQ(registry_.GetRegValue(HKEY_CURRENT_USER, "Software\\Watched\\Map\\a.com", "*"), "4");
}

}  // namespace
}  // namespace pw::test
