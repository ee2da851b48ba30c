// Read snapshots: one state for a run of reads, and never a lost or refused
// write because of one.
#include <gtest/gtest.h>

#include "StoreKinds.h"
#include "TempDir.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

constexpr const char* kKey = "Software\\Snapshot";

#if defined(PW_HAVE_SQLITE)
class SqliteReadSnapshot : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("store.db");
    SqliteStore::OpenResult first = SqliteStore::Open(path_);
    ASSERT_TRUE(first.store) << first.error;
    SqliteStore::OpenResult second = SqliteStore::Open(path_);
    ASSERT_TRUE(second.store) << second.error;
    a_ = std::move(first.store);
    b_ = std::move(second.store);
    HKEY key = Registry(*a_).CreateRegKey(HKEY_CURRENT_USER, kKey);
    ASSERT_NE(key, 0u);
    a_->RegCloseKey(key);
    Set(*a_, "v", "1");
  }

  static void Set(RegistryStore& store, const char* name, const char* text) {
    Registry(store).SetRegValue(HKEY_CURRENT_USER, kKey, name, text, REG_SZ);
  }
  static std::string Get(RegistryStore& store, const char* name) {
    return Registry(store).GetRegValue(HKEY_CURRENT_USER, kKey, name);
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<SqliteStore> a_, b_;
};

TEST_F(SqliteReadSnapshot, ReadsInsideSeeOneStateAndTheNextReadAfterSeesTheLatest) {
  {
    ReadSnapshot snapshot(*a_);
    ASSERT_EQ(snapshot.Status(), ERROR_SUCCESS);
    EXPECT_EQ(Get(*a_, "v"), "1");
    Set(*b_, "v", "2");  // another process commits meanwhile: not blocked by the reader
    EXPECT_EQ(Get(*b_, "v"), "2");
    EXPECT_EQ(Get(*a_, "v"), "1");
  }
  EXPECT_EQ(Get(*a_, "v"), "2");
}

TEST_F(SqliteReadSnapshot, AWriteInsideEndsTheSnapshotAndIsKept) {
  ReadSnapshot snapshot(*a_);
  Set(*b_, "v", "2");
  EXPECT_EQ(Get(*a_, "v"), "1");
  Set(*a_, "w", "own");  // lands, and from here reads are current again
  EXPECT_EQ(Get(*a_, "v"), "2");
  EXPECT_EQ(Get(*b_, "w"), "own");
  Set(*b_, "v", "3");
  EXPECT_EQ(Get(*a_, "v"), "3");
}

TEST_F(SqliteReadSnapshot, NestsAndEndsWithTheOutermost) {
  a_->BeginReadSnapshot();
  a_->BeginReadSnapshot();
  Set(*b_, "v", "2");
  a_->EndReadSnapshot();
  EXPECT_EQ(Get(*a_, "v"), "1");
  a_->EndReadSnapshot();
  EXPECT_EQ(Get(*a_, "v"), "2");
}

TEST_F(SqliteReadSnapshot, InsideAWriteTransactionLeavesItToCommit) {
  ASSERT_EQ(a_->BeginTransaction(), ERROR_SUCCESS);
  {
    ReadSnapshot snapshot(*a_);
    Set(*a_, "v", "in-transaction");
  }
  EXPECT_EQ(a_->CommitTransaction(), ERROR_SUCCESS);
  EXPECT_EQ(Get(*b_, "v"), "in-transaction");
}

#endif  // PW_HAVE_SQLITE

TEST(MemoryReadSnapshot, ChangesNothing) {
  MemoryStore store;
  Registry registry(store);
  store.RegCloseKey(registry.CreateRegKey(HKEY_CURRENT_USER, kKey));
  ReadSnapshot snapshot(store);
  EXPECT_EQ(snapshot.Status(), ERROR_SUCCESS);
  registry.SetRegValue(HKEY_CURRENT_USER, kKey, "v", "1", REG_SZ);
  EXPECT_EQ(registry.GetRegValue(HKEY_CURRENT_USER, kKey, "v"), "1");
}

}  // namespace
}  // namespace pw::test
