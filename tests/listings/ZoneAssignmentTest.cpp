// The zone buttons and the delete button on the selected row, with the prune of
// emptied keys, on every store.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ListingsTestKit.h"
#include "TempDir.h"
#include "listings/ZoneAssignment.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

using Rows = std::vector<std::string>;

class ZoneAssignmentTest : public ListingsTest {
 protected:
  // Rebuilds and selects the row shown as "text|subdomain|domain|icon".
  void SelectRow(const std::string& shown) {
    Rows rows = Rebuild();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i] == shown) {
        list_.Select(static_cast<int>(i) + 1);
        return;
      }
    FAIL() << "no row " << shown;
  }
};

// --- Where a row lives ---

TEST_P(ZoneAssignmentTest, SelectedRowMapsToItsKeyAndValue) {
  Map().SetZone("example.com", "*", 2);
  Map().SetZone("plain.com", "http", 2);
  Map().SetZone("example.com\\mail", "*", 4);
  const std::string base = std::string(kDomainsPath) + "\\";
  SelectRow("Default||example.com|2");
  EXPECT_EQ(GetSelectedKeyPath(list_), base + "example.com");
  EXPECT_EQ(GetSelectedValueName(list_), "*");
  SelectRow("http||plain.com|2");
  EXPECT_EQ(GetSelectedKeyPath(list_), base + "plain.com\\");  // the domain key, with a trailing backslash
  EXPECT_EQ(GetSelectedValueName(list_), "http");
  SelectRow("Default|mail|example.com|4");
  EXPECT_EQ(GetSelectedKeyPath(list_), base + "example.com\\mail");
  EXPECT_EQ(GetSelectedValueName(list_), "*");
  list_.Select(0);
  EXPECT_FALSE(GetSelectedKeyPath(list_));
  EXPECT_FALSE(GetSelectedValueName(list_));
}

// --- Zone buttons ---

TEST_P(ZoneAssignmentTest, TrustOnTheDomainsDefaultRowWritesItsStarValue) {
  Map().SetZone("example.com", "*", 3);
  SelectRow("Default||example.com|3");
  AssignSelectedZone(list_, Reg(), Zone::Trusted);
  EXPECT_EQ(Map().Zone("example.com", "*"), 2u);
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||example.com|2"}));
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 1);
}

TEST_P(ZoneAssignmentTest, RestrictAndDeclassifyWriteTheRowsOwnValue) {
  Map().SetZone("example.com\\mail", "http", 2);
  Map().SetZone("plain.com", "http", 2);
  SelectRow("http|mail|example.com|2");
  AssignSelectedZone(list_, Reg(), Zone::Restricted);
  EXPECT_EQ(Map().Zone("example.com\\mail", "http"), 4u);
  SelectRow("http||plain.com|2");
  AssignSelectedZone(list_, Reg(), Zone::Unclassified);
  EXPECT_EQ(Map().Zone("plain.com", "http"), 3u);
  EXPECT_EQ(Map().ValueNames("plain.com"), (Rows{"http"}));
}

TEST_P(ZoneAssignmentTest, RowWithoutTextGetsTheKeysListingForAllProtocols) {
  Map().AddKey("bare.com");
  Map().AddKey("example.com\\mail");
  SelectRow("||bare.com|0");
  AssignSelectedZone(list_, Reg(), Zone::Trusted);
  EXPECT_EQ(Map().ValueNames("bare.com"), (Rows{"*"}));  // not the unnamed value
  EXPECT_EQ(Map().Zone("bare.com", "*"), 2u);
  SelectRow("|mail|example.com|0");
  AssignSelectedZone(list_, Reg(), Zone::Restricted);
  EXPECT_EQ(Map().ValueNames("example.com\\mail"), (Rows{"*"}));
  EXPECT_EQ(Map().ValueNames("example.com"), Rows{});
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||bare.com|2", "Default|mail|example.com|4"}));
}

// A blank row of a key that holds values stands for its unnamed value, for the
// zone buttons as for Delete; neither touches the key's other values.
TEST_P(ZoneAssignmentTest, BlankRowOfAKeyWithValuesActsOnItsUnnamedValue) {
  // Names whose order is the same in creation order and sorted by name.
  Map().SetZone("named-default.com", "Default", 2);  // first value unlisted
  Map().SetZone("named-default.com", "http", 4);
  Map().SetZone("unnamed.com", "", 4);  // first value unnamed
  Map().SetZone("unnamed.com", "http", 4);
  Map().SetZone("nodata.com", "*", 4);
  Map().SetBytes("nodata.com", "ftp", REG_DWORD, "");  // later value without data
  for (const char* shown : {"||named-default.com|0", "||unnamed.com|4", "||nodata.com|0"}) {
    SelectRow(shown);
    AssignSelectedZone(list_, Reg(), Zone::Trusted);
  }
  for (const char* domain : {"named-default.com", "unnamed.com", "nodata.com"})
    EXPECT_EQ(Map().Zone(domain, ""), 2u) << domain;
  EXPECT_EQ(Map().Zone("named-default.com", "http"), 4u);
  EXPECT_EQ(Map().Zone("unnamed.com", "http"), 4u);
  EXPECT_EQ(Map().Zone("nodata.com", "*"), 4u);
  SelectRow("||unnamed.com|2");
  DeleteSelectedListing(list_, Reg());
  EXPECT_EQ(Map().ValueNames("unnamed.com"), (Rows{"http"}));
  SelectRow("||nodata.com|0");
  DeleteSelectedListing(list_, Reg());
  EXPECT_EQ(Map().ValueNames("nodata.com"), (Rows{"*", "ftp"}));
}

TEST_P(ZoneAssignmentTest, WithoutASelectedRowOnlyTheListIsRebuilt) {
  Map().SetZone("example.com", "*", 3);
  AssignSelectedZone(list_, Reg(), Zone::Trusted);  // empty list: a rebuild
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||example.com|3"}));
  list_.Select(0);
  AssignSelectedZone(list_, Reg(), Zone::Trusted);
  EXPECT_EQ(Map().Zone("example.com", "*"), 3u);
  Map().SetZone("example.com", "*", 4);
  list_.Select(0);
  DeleteSelectedListing(list_, Reg());
  EXPECT_EQ(Map().Zone("example.com", "*"), 4u);
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||example.com|4"}));
}

TEST_P(ZoneAssignmentTest, ZoneForAKeyDeletedSinceTheRebuildCreatesNothing) {
  Map().SetZone("example.com\\mail", "http", 2);
  SelectRow("http|mail|example.com|2");
  ASSERT_EQ(Store().RegDeleteKeyA(HKEY_CURRENT_USER, ZoneMap::Path("example.com\\mail")), ERROR_SUCCESS);
  AssignSelectedZone(list_, Reg(), Zone::Restricted);
  EXPECT_FALSE(Map().KeyExists("example.com\\mail"));
  EXPECT_EQ(RowTexts(list_), (Rows{"||example.com|0"}));
}

// --- Delete and prune ---

TEST_P(ZoneAssignmentTest, DeletingADomainsOnlyValueRemovesTheDomain) {
  Map().SetZone("example.com", "*", 2);
  Map().SetZone("other.com", "*", 2);
  SelectRow("Default||example.com|2");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("example.com"));
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||other.com|2"}));
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 1);  // the row that moved into the position
}

TEST_P(ZoneAssignmentTest, DeletingASubdomainsOnlyValueRemovesItsKeyButKeepsTheDomain) {
  Map().SetZone("example.com", "*", 2);
  Map().SetZone("example.com\\mail", "http", 4);
  SelectRow("http|mail|example.com|4");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("example.com\\mail"));
  EXPECT_EQ(Map().Zone("example.com", "*"), 2u);
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||example.com|2"}));
}

TEST_P(ZoneAssignmentTest, DeletingOneOfTwoValuesKeepsTheKey) {
  Map().SetZone("example.com\\mail", "http", 4);
  Map().SetZone("example.com\\mail", "https", 4);
  SelectRow("https|mail|example.com|4");
  DeleteSelectedListing(list_, Reg());
  EXPECT_EQ(Map().ValueNames("example.com\\mail"), (Rows{"http"}));
  EXPECT_EQ(RowTexts(list_), (Rows{"http|mail|example.com|4"}));
}

TEST_P(ZoneAssignmentTest, DeleteOnAnEmptyListDoesNothingAtAll) {
  Map().SetZone("example.com", "*", 2);  // written after the (empty) list was built
  DeleteSelectedListing(list_, Reg());
  EXPECT_EQ(list_.Count(), 0);  // not even rebuilt
  EXPECT_EQ(Map().Zone("example.com", "*"), 2u);
}

TEST_P(ZoneAssignmentTest, ALastSubdomainAndItsEmptyDomainGoInOnePass) {
  Map().SetZone("example.com\\mail", "http", 4);
  Map().SetZone("other.com", "*", 2);
  SelectRow("http|mail|example.com|4");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("example.com"));
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||other.com|2"}));
}

TEST_P(ZoneAssignmentTest, PruneGoesOverTheWholeListAndSparesKeysWithAnyValueOrSubkey) {
  Map().SetZone("target.com", "*", 2);
  Map().AddKey("bare.com");                                   // empty: goes
  Map().AddKey("nested.com\\a\\deeper");                      // a subkey below the model: stays
  Map().SetZone("named-default.com", "Default", 2);           // unlisted value: stays
  Map().SetZone("unnamed.com\\x", "", 2);                     // listed, unnamed: stays
  Map().SetBytes("nodata.com", "http", REG_DWORD, "");        // no data: stays
  Map().SetZone("sibling.com\\a", "http", 2);                 // the domain still has a subkey: stays
  Map().AddKey("sibling.com\\b");                             // empty subdomain: goes
  SelectRow("Default||target.com|2");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("target.com"));
  EXPECT_FALSE(Map().KeyExists("bare.com"));
  EXPECT_FALSE(Map().KeyExists("sibling.com\\b"));
  EXPECT_TRUE(Map().KeyExists("sibling.com\\a"));
  EXPECT_TRUE(Map().KeyExists("nested.com\\a\\deeper"));
  EXPECT_TRUE(Map().KeyExists("named-default.com"));
  EXPECT_TRUE(Map().KeyExists("unnamed.com\\x"));
  EXPECT_TRUE(Map().KeyExists("nodata.com"));
  EXPECT_EQ(RowTexts(list_), (Rows{"||named-default.com|0", "|a|nested.com|0", "||nodata.com|0",
                                   "http|a|sibling.com|2", "|x|unnamed.com|2"}));
}

// What the prune's test reads with 255-byte buffers but does not fit them is
// content too.
TEST_P(ZoneAssignmentTest, PruneSparesKeysWhoseContentOutgrowsItsBuffers) {
  Map().SetZone("target.com", "*", 2);
  Map().SetBytes("big-default.com", "Default", REG_BINARY, std::string(300, 'd'));
  Map().SetBytes("big-unnamed.com\\x", "", REG_BINARY, std::string(300, 'u'));
  std::string longName(255, 'l');
  bool longNames = !GetParam().wine;  // Wine's "A" functions take no path that long
  if (longNames) Map().SetBytes("long-sub.com\\" + longName, "Default", REG_BINARY, "x");
  SelectRow("Default||target.com|2");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("target.com"));
  EXPECT_TRUE(Map().KeyExists("big-default.com"));
  EXPECT_TRUE(Map().KeyExists("big-unnamed.com\\x"));
  if (longNames) {
    EXPECT_TRUE(Map().KeyExists("long-sub.com\\" + longName));
  }
}

TEST_P(ZoneAssignmentTest, DeletingAnEmptyRowPrunesItsKey) {
  Map().AddKey("example.com\\mail");
  Map().SetZone("other.com", "*", 2);
  SelectRow("|mail|example.com|0");
  DeleteSelectedListing(list_, Reg());
  EXPECT_FALSE(Map().KeyExists("example.com"));
  EXPECT_EQ(RowTexts(list_), (Rows{"Default||other.com|2"}));
}

// A store whose transactions cannot begin, as a busy store's.
class BusyStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG BeginTransaction() override { return ERROR_BUSY; }
};

TEST_P(ZoneAssignmentTest, PruneDeletesNothingWhenItCannotBeAtomic) {
  Map().AddKey("bare.com");
  Map().SetZone("example.com", "*", 2);
  BusyStore busy(Store());
  Registry registry(busy);
  list_.Rebuild(busy);
  list_.Select(2);
  EXPECT_EQ(DeleteListing(list_, registry, ListingAddressOf(list_.Row(2))).prune, ERROR_BUSY);
  EXPECT_EQ(Map().ValueNames("example.com"), Rows{});  // the value is gone...
  EXPECT_TRUE(Map().KeyExists("example.com"));         // ...but its emptied key is not pruned,
  EXPECT_TRUE(Map().KeyExists("bare.com"));            // nor any other
}

INSTANTIATE_TEST_SUITE_P(Stores, ZoneAssignmentTest, testing::ValuesIn(AllStoreKinds()), StoreKindName);

#if defined(PW_HAVE_SQLITE)
// Another process writes a value into a key while this one prunes it: the
// value is either seen by the emptiness test or written after the deletion
// (and then refused); it is never deleted with the key.
class PauseBeforeDelete : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegDeleteKeyA(HKEY hKey, RegName path) override {
    reachedDelete = true;
    // Room for the other process's write to land, were the key not locked.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return ForwardingStore::RegDeleteKeyA(hKey, path);
  }
  std::atomic<bool> reachedDelete{false};
};

TEST(PruneAcrossProcesses, AValueWrittenDuringThePruneIsNeverDeletedWithItsKey) {
  TempDir dir;
  std::string path = dir.File("store.db");
  SqliteStore::OpenResult first = SqliteStore::Open(path);
  ASSERT_TRUE(first.store) << first.error;
  SqliteStore::OpenResult second = SqliteStore::Open(path);
  ASSERT_TRUE(second.store) << second.error;
  ZoneMap map(*first.store);
  map.AddKey("bare.com");
  map.SetZone("example.com", "*", 2);

  HKEY other = 0;
  ASSERT_EQ(second.store->RegOpenKeyA(HKEY_CURRENT_USER, ZoneMap::Path("bare.com"), &other), ERROR_SUCCESS);
  PauseBeforeDelete pausing(*first.store);
  LONG otherStatus = -1;
  std::thread writer([&] {
    while (!pausing.reachedDelete) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    BYTE zone[4] = {4, 0, 0, 0};
    otherStatus = second.store->RegSetValueExA(other, "*", 0, REG_DWORD, zone, 4);
  });
  SiteList list;
  list.Rebuild(pausing);
  EXPECT_EQ(PruneEmptyListingKeys(list, pausing), ERROR_SUCCESS);
  writer.join();
  second.store->RegCloseKey(other);

  std::optional<std::uint32_t> zone = map.Zone("bare.com", "*");
  EXPECT_TRUE(zone == 4u || otherStatus != ERROR_SUCCESS)
      << "the other process's write returned success and was deleted with the key";
  EXPECT_FALSE(zone);  // here it came after the deletion...
  EXPECT_EQ(otherStatus, ERROR_KEY_DELETED);  // ...and was told so
}
#endif  // PW_HAVE_SQLITE

}  // namespace
}  // namespace pw::test
