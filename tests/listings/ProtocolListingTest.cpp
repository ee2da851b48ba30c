// The per-protocol editor's OK: the exact subdomain's key and one value per
// checked protocol, on every store.
#include <gtest/gtest.h>

#include "ListingsTestKit.h"
#include "TempDir.h"
#include "listings/ProtocolListing.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"

#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

using Rows = std::vector<std::string>;

class ProtocolListingTest : public ListingsTest {};

ProtocolChoices Checked(std::optional<Zone> https, std::optional<Zone> ftp, std::optional<Zone> http,
                        bool checkHttps, bool checkFtp, bool checkHttp) {
  ProtocolChoices choices;
  choices.https = {checkHttps, https};
  choices.ftp = {checkFtp, ftp};
  choices.http = {checkHttp, http};
  return choices;
}

TEST_P(ProtocolListingTest, WorkedExampleWritesHttpsThenHttpIntoTheSubdomainKey) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  ProtocolChoices choices = Checked(Zone::Trusted, std::nullopt, std::nullopt, true, false, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "www", choices), ERROR_SUCCESS);
  EXPECT_EQ(Map().ValueNames("example.com\\www"), (Rows{"https", "http"}));  // written in that order
  EXPECT_EQ(Map().Zone("example.com\\www", "https"), 2u);
  EXPECT_EQ(Map().Zone("example.com\\www", "http"), 3u);  // checked without a choice
  EXPECT_EQ(Map().Class("", "example.com"), "REG_DWORD");
  EXPECT_EQ(Map().Class("example.com", "www"), "REG_DWORD");
  EXPECT_EQ(Rebuild(), (Rows{"https|www|example.com|2", "http|www|example.com|3"}));
}

TEST_P(ProtocolListingTest, AllThreeInOrderAndExistingValuesOverwritten) {
  if (SkipOnWine(GetParam(), kWineSortsValues)) return;
  Map().SetZone("example.com\\ftp", "http", 2);
  ProtocolChoices choices = Checked(Zone::Restricted, Zone::Unclassified, Zone::Restricted, true, true, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "ftp", choices), ERROR_SUCCESS);
  EXPECT_EQ(Map().ValueNames("example.com\\ftp"), (Rows{"http", "https", "ftp"}));
  EXPECT_EQ(Map().Zone("example.com\\ftp", "http"), 4u);
  EXPECT_EQ(Map().Zone("example.com\\ftp", "ftp"), 3u);
}

TEST_P(ProtocolListingTest, AnExistingKeyKeepsItsClass) {
  if (SkipOnWine(GetParam(), "Windows ignores the class given when the key exists already; Wine gives the key "
                             "that class"))
    return;
  Map().SetZone("example.com\\ftp", "http", 2);
  ProtocolChoices choices = Checked(Zone::Restricted, Zone::Unclassified, Zone::Restricted, true, true, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "ftp", choices), ERROR_SUCCESS);
  EXPECT_EQ(Map().Class("example.com", "ftp"), "");
}

TEST_P(ProtocolListingTest, ADottedSubdomainIsOneKeyAndAnEmptyOneIsTheDomainKey) {
  ProtocolChoices http = Checked(std::nullopt, std::nullopt, Zone::Trusted, false, false, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "a.b", http), ERROR_SUCCESS);
  EXPECT_EQ(Map().Zone("example.com\\a.b", "http"), 2u);
  EXPECT_FALSE(Map().KeyExists("example.com\\a"));
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "", http), ERROR_SUCCESS);
  EXPECT_EQ(Map().Zone("example.com", "http"), 2u);
  // The domain's own value stays in the list next to its subdomain's.
  EXPECT_EQ(Rebuild(), (Rows{"http|a.b|example.com|2", "http||example.com|2"}));
}

TEST_P(ProtocolListingTest, NothingCheckedWritesNothing) {
  ProtocolChoices none = Checked(Zone::Trusted, Zone::Trusted, Zone::Trusted, false, false, false);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "www", none), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Map().KeyExists("example.com"));
}

TEST_P(ProtocolListingTest, NamesThatWouldNestKeysAreRefused) {
  ProtocolChoices http = Checked(std::nullopt, std::nullopt, Zone::Trusted, false, false, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "", "www", http), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", "a\\b", http), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com\\x", "www", http), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", std::string("a\nb"), http), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Map().ValueNames(""), Rows{});
  EXPECT_TRUE(Rebuild().empty());
}

TEST_P(ProtocolListingTest, AKeyTheStoreRefusesIsReportedAndNothingIsWritten) {
  if (SkipOnWine(GetParam(), kWineLimitsPaths)) return;
  ProtocolChoices http = Checked(std::nullopt, std::nullopt, Zone::Trusted, false, false, true);
  EXPECT_EQ(WriteProtocolListings(Reg(), "example.com", std::string(256, 'w'), http), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Map().KeyExists("example.com"));
}

INSTANTIATE_TEST_SUITE_P(Stores, ProtocolListingTest, testing::ValuesIn(AllStoreKinds()), StoreKindName);

TEST(ProtocolsForAddress, TheSchemeChecksItsRow) {
  auto checks = [](const char* address) {
    ProtocolChoices c = ProtocolsForAddress(address);
    return std::string(c.https.checked ? "S" : "-") + (c.ftp.checked ? "F" : "-") + (c.http.checked ? "H" : "-");
  };
  EXPECT_EQ(checks("https://www.example.com"), "S--");
  EXPECT_EQ(checks("ftp://files.example.com"), "-F-");
  EXPECT_EQ(checks("HTTP://WWW.EXAMPLE.COM"), "--H");
  EXPECT_EQ(checks("Https://x"), "S--");
  EXPECT_EQ(checks("www.example.com"), "---");
  EXPECT_EQ(checks("http:/x.com"), "---");
  EXPECT_EQ(checks(""), "---");
  EXPECT_FALSE(ProtocolsForAddress("http://x").http.zone);
}

#if defined(PW_HAVE_SQLITE)
// Another process prunes the empty keys of the zone map just after the writer
// made its key: it must find the key with its values, or not at all.
TEST(ListingWrite, AnotherProcessNeverFindsTheNewKeyWithoutItsValues) {
  TempDir dir;
  std::string path = dir.File("store.db");
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  struct PruningMeanwhile : ForwardingStore {
    PruningMeanwhile(RegistryStore& target, std::string file) : ForwardingStore(target), file_(std::move(file)) {}
    LONG RegCreateKeyExA(HKEY k, RegName p, DWORD r, RegName c, DWORD o, REGSAM s, const void* a, HKEY* h,
                         DWORD* d) override {
      LONG status = ForwardingStore::RegCreateKeyExA(k, p, r, c, o, s, a, h, d);
      SqliteStore::OpenResult other = SqliteStore::Open(file_);
      other.store->SetBusyTimeout(50);
      pruned = other.store->RegDeleteKeyA(HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\example.com\\www");
      return status;
    }
    std::string file_;
    LONG pruned = -1;
  } pruning(*opened.store, path);
  Registry registry(pruning);
  ProtocolChoices choices = Checked(std::nullopt, std::nullopt, Zone::Trusted, false, false, true);
  EXPECT_EQ(WriteProtocolListings(registry, "example.com", "www", choices), ERROR_SUCCESS);
  EXPECT_NE(pruning.pruned, ERROR_SUCCESS);
  EXPECT_EQ(ZoneMap(*opened.store).Zone("example.com\\www", "http"), 2u);
}
#endif

}  // namespace
}  // namespace pw::test
