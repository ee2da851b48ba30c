// The site list rebuilt from the zone map: the four passes, the sort and the
// selection, on every store.
#include <gtest/gtest.h>

#include "ListingsTestKit.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"

namespace pw::test {
namespace {

using Rows = std::vector<std::string>;

class SiteListTest : public ListingsTest {};

// --- The worked shapes ---

TEST_P(SiteListTest, DomainListedForAllProtocolsIsOneDefaultRow) {
  Map().SetZone("example.com", "*", 2);
  EXPECT_EQ(Rebuild(), (Rows{"Default||example.com|2"}));
  EXPECT_EQ(list_.Row(1).tag, 9);
}

TEST_P(SiteListTest, SubdomainValuesAndTheDomainsOwnDefaultEachGetARow) {
  Map().SetZone("example.com", "*", 2);
  Map().SetZone("example.com\\mail", "http", 4);
  Map().SetZone("example.com\\mail", "https", 4);
  EXPECT_EQ(Rebuild(), (Rows{"http|mail|example.com|4", "https|mail|example.com|4", "Default||example.com|2"}));
}

TEST_P(SiteListTest, KeysWithoutValuesShowAsRowsWithoutTextOrPicture) {
  Map().AddKey("bare.com");
  Map().AddKey("example.com\\mail");
  EXPECT_EQ(Rebuild(), (Rows{"||bare.com|0", "|mail|example.com|0"}));
}

TEST_P(SiteListTest, EmptyOrMissingZoneMapGivesAnEmptyList) {
  EXPECT_TRUE(Rebuild().empty());
  ASSERT_EQ(Store().RegDeleteKeyA(HKEY_CURRENT_USER, kDomainsPath), ERROR_SUCCESS);
  EXPECT_TRUE(Rebuild().empty());
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 1);
}

// --- Passes 2 and 3 ---

TEST_P(SiteListTest, FirstSubdomainTakesTheDomainRowAndEachFurtherOneAddsARow) {
  Map().SetZone("example.com\\alpha", "http", 2);
  Map().AddKey("example.com\\beta");
  Map().SetZone("example.com\\gamma", "*", 4);
  EXPECT_EQ(Rebuild(), (Rows{"http|alpha|example.com|2", "|beta|example.com|0", "Default|gamma|example.com|4"}));
  EXPECT_EQ(list_.Row(1).tag, 9);  // the domain's own row, now standing for its first subdomain
  EXPECT_EQ(list_.Row(2).tag, 0);
}

TEST_P(SiteListTest, ValuesNamedDefaultAreNeverListed) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("first.com", "Default", 2);  // first value: the row stays empty
  Map().SetZone("first.com", "http", 4);
  Map().SetZone("later.com", "ftp", 3);
  Map().SetZone("later.com", "Default", 2);  // a later value: no row
  Map().SetZone("sub.com\\www", "Default", 2);
  Map().SetZone("sub.com", "Default", 2);  // the domain key's own, with subkeys
  EXPECT_EQ(Rebuild(), (Rows{"||first.com|0", "http||first.com|4", "ftp||later.com|3", "|www|sub.com|0"}));
}

TEST_P(SiteListTest, NameComparisonsAreExact) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("example.com", "default", 2);
  Map().SetZone("example.com", "DEFAULT", 4);  // the store takes it as the same name: replaced
  Map().SetZone("other.com", "http", 2);
  Map().SetZone("other.com", "*", 3);
  EXPECT_EQ(Rebuild(), (Rows{"default||example.com|4", "http||other.com|2", "Default||other.com|3"}));
}

TEST_P(SiteListTest, PicturesComeFromTheFirstDataByteWithinTheImageList) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("a.com", "http", 1);
  Map().SetZone("a.com", "https", 11);
  Map().SetZone("a.com", "ftp", 0);
  Map().SetZone("a.com", "gopher", 12);
  Map().SetZone("a.com", "wais", 0x0102);  // only the first byte counts
  Map().SetBytes("a.com", "text", REG_SZ, "\x03rest");
  EXPECT_EQ(Rebuild(), (Rows{"http||a.com|1", "https||a.com|11", "ftp||a.com|0", "gopher||a.com|0",
                             "wais||a.com|2", "text||a.com|3"}));
}

TEST_P(SiteListTest, ValuesWithoutDataAndTheUnnamedValue) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetBytes("empty-first.com", "http", REG_DWORD, "");  // first, no data: row unchanged
  Map().SetZone("empty-first.com", "https", 2);
  Map().SetZone("empty-later.com", "http", 2);
  Map().SetBytes("empty-later.com", "https", REG_DWORD, "");  // later, no data: a row without text
  Map().SetZone("unnamed.com", "", 4);                         // first, unnamed: empty text, a picture
  Map().SetZone("unnamed.com", "http", 2);
  Map().SetZone("unnamed-later.com", "http", 3);
  Map().SetZone("unnamed-later.com", "", 4);  // later, unnamed: no row
  EXPECT_EQ(Rebuild(), (Rows{"||empty-first.com|0", "https||empty-first.com|2", "http||empty-later.com|2",
                             "||empty-later.com|0", "http||unnamed-later.com|3", "||unnamed.com|4",
                             "http||unnamed.com|2"}));
}

// --- Pass 4, mended: the domain key's own values, each once ---

TEST_P(SiteListTest, DomainWithoutSubkeysListsEachOwnValueOnce) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("example.com", "http", 4);
  Map().SetZone("example.com", "*", 2);  // not the first value: still one Default row
  EXPECT_EQ(Rebuild(), (Rows{"http||example.com|4", "Default||example.com|2"}));
}

TEST_P(SiteListTest, DomainWithSubkeysListsItsOwnProtocolValues) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("example.com", "http", 3);  // as the per-protocol editor writes for 'http://example.com/'
  Map().SetZone("example.com", "*", 2);
  Map().SetBytes("example.com", "ftp", REG_DWORD, "");  // no data: not listed
  Map().SetZone("example.com", "", 4);                  // unnamed: not listed
  Map().SetZone("example.com\\www", "https", 2);
  EXPECT_EQ(Rebuild(), (Rows{"https|www|example.com|2", "http||example.com|3", "Default||example.com|2"}));
}

TEST_P(SiteListTest, DomainKeysDefaultIsListedWhenTheFirstSubdomainStartsWithDefault) {
  Map().SetZone("example.com", "*", 4);
  Map().SetZone("example.com\\www", "*", 2);
  EXPECT_EQ(Rebuild(), (Rows{"Default|www|example.com|2", "Default||example.com|4"}));
}

// --- The enumeration pattern ---

TEST_P(SiteListTest, NamesLongerThanTheBuffersAreListedWhole) {
  if (SkipOnWine(GetParam(), kWineLimitsPaths)) return;
  std::string longDomain(255, 'd');  // the longest key name: does not fit 255 bytes with its NUL
  std::string longValue(300, 'v');
  Map().SetZone(longDomain, "*", 2);
  Map().SetZone("example.com", "http", 3);
  Map().SetZone("example.com", longValue, 4);
  Map().SetBytes("example.com", "big", REG_BINARY, std::string(400, '\x02'));
  EXPECT_EQ(Rebuild(), (Rows{"Default||" + longDomain + "|2", "http||example.com|3",
                             longValue + "||example.com|4", "big||example.com|2"}));
}

// Fails one operation on one key, as a key deleted by another program does.
class FailingStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegOpenKeyA(HKEY hKey, RegName path, HKEY* result) override {
    LONG status = ForwardingStore::RegOpenKeyA(hKey, path, result);
    if (status == ERROR_SUCCESS && !failOpen.empty() && path.View().find(failOpen) != std::string_view::npos)
      failingKey = *result;
    return status;
  }
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                     BYTE* data, DWORD* dataLength) override {
    ++valueCalls;
    if (key == failingKey && index >= failFromIndex) return ERROR_KEY_DELETED;
    return ForwardingStore::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
  }
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, char* cls,
                     DWORD* classLength, FILETIME* time) override {
    if (key == failingKey && index >= failFromIndex) return ERROR_KEY_DELETED;
    return ForwardingStore::RegEnumKeyExA(key, index, name, nameLength, reserved, cls, classLength, time);
  }
  LONG RegCloseKey(HKEY key) override {
    if (key == failingKey) failingKey = 0;
    return ForwardingStore::RegCloseKey(key);
  }

  std::string failOpen;
  DWORD failFromIndex = 0;
  HKEY failingKey = 0;
  int valueCalls = 0;
};

TEST_P(SiteListTest, AFailureEndsThatKeysEnumerationOnly) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("broken.com", "http", 2);
  Map().SetZone("broken.com", "https", 3);
  Map().SetZone("broken.com", "ftp", 4);
  Map().SetZone("fine.com", "*", 2);
  FailingStore failing(Store());
  failing.failOpen = "broken.com";
  failing.failFromIndex = 1;
  list_.Rebuild(failing);
  EXPECT_EQ(RowTexts(list_), (Rows{"http||broken.com|2", "Default||fine.com|2"}));
  EXPECT_LT(failing.valueCalls, 20);  // it did not go on taking the failure for items
}

class UnopenableStore : public ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  LONG RegOpenKeyA(HKEY hKey, RegName path, HKEY* result) override {
    if (path.View().find(refuse) != std::string_view::npos) {
      *result = 0;
      return ERROR_ACCESS_DENIED;
    }
    return ForwardingStore::RegOpenKeyA(hKey, path, result);
  }
  std::string refuse;
};

TEST_P(SiteListTest, KeysThatDoNotOpenKeepTheRowsTheEarlierPassesMade) {
  Map().SetZone("example.com\\mail", "http", 2);
  Map().SetZone("example.com\\www", "http", 2);
  UnopenableStore refusing(Store());
  refusing.refuse = "\\mail";
  list_.Rebuild(refusing);
  EXPECT_EQ(RowTexts(list_), (Rows{"|mail|example.com|0", "http|www|example.com|2"}));
  refusing.refuse = "Domains\\";  // the base key itself
  list_.Rebuild(refusing);
  EXPECT_TRUE(RowTexts(list_).empty());
}

TEST_P(SiteListTest, PendingEventsRunOncePerDomainKeyRead) {
  Map().SetZone("a.com", "http", 2);
  Map().SetZone("a.com", "https", 2);
  Map().SetZone("a.com", "Default", 2);  // not listed, but still a value read
  Map().SetZone("b.com", "*", 2);
  Map().SetZone("c.com", "*", 2);  // its subkey is read with it: no event of its own
  Map().SetZone("c.com\\www", "http", 2);
  Map().SetZone("c.com\\www", "ftp", 2);
  int events = 0;
  list_.Rebuild(Store(), [&] { ++events; });
  EXPECT_EQ(events, 3);
}

// --- Sorting ---

TEST_P(SiteListTest, SortComparesUpperCasedTextAndKeepsEqualRowsInEnumerationOrder) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("b.com", "*", 2);
  Map().SetZone("A.com", "*", 2);
  Map().SetZone("a_b.com", "*", 2);
  Map().SetZone("ab.com", "*", 2);
  Map().SetZone("c.com\\x", "https", 2);
  Map().SetZone("c.com\\x", "http", 3);
  Map().SetZone("c.com\\x", "ftp", 4);
  EXPECT_EQ(Rebuild(), (Rows{"Default||A.com|2", "Default||ab.com|2", "Default||a_b.com|2", "Default||b.com|2",
                             "https|x|c.com|2", "http|x|c.com|3", "ftp|x|c.com|4"}));
}

TEST_P(SiteListTest, HeaderClicksChooseTheSortAndARebuildSortsByDomainInTheOrderChosen) {
  Map().SetZone("a.com\\www", "https", 2);
  Map().SetZone("b.com\\mail", "ftp", 2);
  Map().SetZone("c.com", "http", 2);
  EXPECT_EQ(list_.Order(), SortOrder::Ascending);
  Rebuild();
  EXPECT_EQ(list_.SortKey(), 2);

  list_.ColumnClick(1);  // "Protocol": another column, ascending stays
  EXPECT_EQ(list_.SortKey(), 0);
  EXPECT_EQ(list_.Order(), SortOrder::Ascending);
  EXPECT_EQ(RowTexts(list_), (Rows{"ftp|mail|b.com|2", "http||c.com|2", "https|www|a.com|2"}));

  list_.ColumnClick(1);  // again: descending
  EXPECT_EQ(list_.Order(), SortOrder::Descending);
  EXPECT_EQ(RowTexts(list_), (Rows{"https|www|a.com|2", "http||c.com|2", "ftp|mail|b.com|2"}));

  list_.ColumnClick(2);  // "Subdomain": descending by subdomain
  EXPECT_EQ(list_.SortKey(), 1);
  EXPECT_EQ(list_.Order(), SortOrder::Descending);
  EXPECT_EQ(RowTexts(list_), (Rows{"https|www|a.com|2", "ftp|mail|b.com|2", "http||c.com|2"}));

  EXPECT_EQ(Rebuild(), (Rows{"http||c.com|2", "ftp|mail|b.com|2", "https|www|a.com|2"}));
  EXPECT_EQ(list_.SortKey(), 2);
  EXPECT_EQ(list_.Order(), SortOrder::Descending);

  list_.ColumnClick(3);  // the current column: flips back
  EXPECT_EQ(list_.Order(), SortOrder::Ascending);
  EXPECT_EQ(RowTexts(list_), (Rows{"https|www|a.com|2", "ftp|mail|b.com|2", "http||c.com|2"}));
}

TEST_P(SiteListTest, DescendingKeepsEqualRowsInEnumerationOrderToo) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("x.com", "https", 2);
  Map().SetZone("x.com", "http", 3);
  Map().SetZone("y.com", "ftp", 4);
  Rebuild();
  list_.ColumnClick(3);
  EXPECT_EQ(RowTexts(list_), (Rows{"ftp||y.com|4", "https||x.com|2", "http||x.com|3"}));
}

// --- Selection ---

TEST_P(SiteListTest, SelectionIsKeptByPositionAcrossARebuild) {
  Map().SetZone("b.com", "*", 2);
  Map().SetZone("c.com", "*", 2);
  Rebuild();
  list_.Select(2);
  EXPECT_EQ(list_.Row(list_.SelectedPositionOrEnd()).domain, "c.com");
  Map().SetZone("a.com", "*", 2);
  Rebuild();
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 2);
  EXPECT_EQ(list_.Row(2).domain, "b.com");  // the position, not the listing

  ASSERT_EQ(Store().RegDeleteKeyA(HKEY_CURRENT_USER, ZoneMap::Path("c.com")), ERROR_SUCCESS);
  ASSERT_EQ(Store().RegDeleteKeyA(HKEY_CURRENT_USER, ZoneMap::Path("b.com")), ERROR_SUCCESS);
  Rebuild();  // position 2 is gone: nothing selected
  EXPECT_EQ(list_.SelectedPositionOrEnd(), list_.Count() + 1);
}

TEST_P(SiteListTest, WithNothingSelectedARebuildSelectsTheFirstNewPosition) {
  Rebuild();  // start-up: empty list, "selected" position 1
  Map().SetZone("a.com", "*", 2);
  Map().SetZone("b.com", "*", 2);
  Rebuild();
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 1);

  list_.Select(0);
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 3);
  Rebuild();  // same rows: position 3 does not exist
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 3);
  Map().SetZone("c.com", "*", 2);
  Rebuild();  // one more row: position 3 now does
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 3);
  EXPECT_EQ(list_.Row(3).domain, "c.com");
}

TEST_P(SiteListTest, HeaderClickKeepsTheSelectedRowSelected) {
  Map().SetZone("a.com", "https", 2);
  Map().SetZone("b.com", "ftp", 2);
  Rebuild();
  list_.Select(1);  // https, a.com
  list_.ColumnClick(1);
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 2);
  EXPECT_EQ(list_.Row(2).text, "https");
}

TEST_P(SiteListTest, SelectOutsideTheRowsClearsTheSelection) {
  Map().SetZone("a.com", "*", 2);
  Rebuild();
  list_.Select(1);
  list_.Select(5);
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 2);
  list_.Select(-1);
  EXPECT_EQ(list_.SelectedPositionOrEnd(), 2);
}

INSTANTIATE_TEST_SUITE_P(Stores, SiteListTest, testing::ValuesIn(AllStoreKinds()), StoreKindName);

}  // namespace
}  // namespace pw::test
