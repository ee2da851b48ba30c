// Blocklists: the file shapes public lists use, what is refused, and an apply
// that lands whole with a record its undo follows exactly, on every store.
#include <gtest/gtest.h>

#include "KilledMidway.h"
#include "ListingsTestKit.h"
#include "RegFileTestUtil.h"
#include "intake/Blocklist.h"
#include "listings/ZoneForUrl.h"
#include "registry/ForwardingStore.h"

#if defined(PW_HAVE_SQLITE) && !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace pw::test {
namespace {

std::vector<std::string> Keys(const Blocklist& list) {
  std::vector<std::string> keys;
  for (const BlocklistListing& listing : list.listings) keys.push_back(listing.Key());
  return keys;
}

TEST(ReadBlocklist, ReadsTheShapesOfPublicLists) {
  Blocklist list = ReadBlocklist(
      "\xEF\xBB\xBF# a comment\r\n"
      "127.0.0.1  localhost\r\n"
      "::1  localhost ip6-localhost\r\n"
      "fe80::1%lo0 localhost\r\n"
      "\r\n"
      "0.0.0.0 ads.tracker.example\t# inline comment\r\n"
      "127.0.0.1\tpix.a.b.example.net  ADS.tracker.example other.example.org\n"
      ":: ads.v6.example.com\n"
      "plain.example.co\n"
      "0.0.0.0 ad.co.uk www.ads.co.uk\n");
  ASSERT_EQ(list.error, "");
  // Each host alone, in the subdomain key of its name; ad.co.uk is a domain.
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"tracker.example\\ads", "example.net\\pix.a.b",
                                                  "example.org\\other", "example.com\\ads.v6", "example.co\\plain",
                                                  "ad.co.uk", "ads.co.uk\\www"}));
  EXPECT_EQ(list.hosts, 7u);  // the upper-case repeat counted once
  EXPECT_EQ(list.systemNames, 4u);
  EXPECT_TRUE(list.refused.empty());
  EXPECT_EQ(list.listings[1].line, 7);
  // Generalised on request, as the add flow lists a site, the widening told.
  Blocklist general = ReadBlocklist("0.0.0.0 pix.a.b.example.net ad.co.uk\n", true);
  EXPECT_EQ(Keys(general), (std::vector<std::string>{"example.net\\*.a.b", "ad.co.uk"}));
  EXPECT_TRUE(general.listings[0].widened);
  EXPECT_FALSE(general.listings[1].widened);
}

TEST(ReadBlocklist, RefusesHostsByLineAndWholeBinaryFiles) {
  Blocklist list = ReadBlocklist(
      "0.0.0.0 203.0.113.7\n"
      "0.0.0.0 bad_label.exa_mple.com\n"
      "a.com\n"
      "192.168.1.5 nas.home.example\n"
      "0.0.0.0 good.example.com com.au\n");
  ASSERT_EQ(list.refused.size(), 5u);
  EXPECT_EQ(list.refused[0].line, 1);
  EXPECT_NE(list.refused[0].reason.find("raw IP address"), std::string::npos);
  EXPECT_EQ(list.refused[1].reason, "not a well-formed host name");
  EXPECT_EQ(list.refused[2].host, "a.com");
  EXPECT_EQ(list.refused[3].line, 4);
  EXPECT_NE(list.refused[3].reason.find("sent to 192.168.1.5, not blocked"), std::string::npos);
  EXPECT_NE(list.refused[4].reason.find("public suffix"), std::string::npos);
  EXPECT_EQ(Keys(list), std::vector<std::string>{"example.com\\good"});

  EXPECT_NE(ReadBlocklist(std::string("\xFF\xFE" "a\0b\0", 6)).error, "");
}

TEST(ReadBlocklist, TellsAddressesInEveryFormFromHosts) {
  Blocklist list = ReadBlocklist(
      "10.1 a.example.com\n"
      "::ffff:1.2.3.4 b.example.com\n"
      "127.1 c.example.com\n"
      "::ffff:127.0.0.1 d.example.com\n"
      "0.0.0.0 0x7f.0.0.1\n");
  ASSERT_EQ(list.refused.size(), 3u);
  EXPECT_NE(list.refused[0].reason.find("sent to 10.1,"), std::string::npos) << list.refused[0].reason;
  EXPECT_NE(list.refused[1].reason.find("sent to ::ffff:1.2.3.4,"), std::string::npos) << list.refused[1].reason;
  EXPECT_NE(list.refused[2].reason.find("raw IP address"), std::string::npos) << list.refused[2].reason;
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"example.com\\c", "example.com\\d"}));
}

class BlocklistTest : public ListingsTest {
 protected:
  // The zone map and the records: everything a blocklist may write (the
  // platform's registry holds far more than that).
  std::string Touched() {
    std::string out;
    for (std::string path : {std::string(kDomainsPath), std::string("Software\\Portwarden")}) {
      HKEY key = 0;
      if (Store().RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      DumpKey(Store(), key, path, out);
      Store().RegCloseKey(key);
    }
    return out;
  }
  // Generalised, so that the list meets listings already there.
  BlocklistApplied Apply(const std::string& text, bool dryRun = false) {
    return ApplyBlocklist(Reg(), "ads", "ads.txt", ReadBlocklist(text, true), dryRun);
  }
  const std::string kList =
      "0.0.0.0 www.fresh.example\n0.0.0.0 a.b.fresh.example\n0.0.0.0 www.trusted.example\n"
      "0.0.0.0 www.restricted.example\n0.0.0.0 x.gone.example\n";
};

TEST_P(BlocklistTest, UndoRemovesWhatItAddedAndRestoresWhatItChanged) {
  Map().SetZone("trusted.example", "*", 2);
  Map().SetZone("restricted.example", "*", 4);
  Map().SetZone("gone.example", "http", 3);
  Map().SetZone("gone.example\\www", "http", 2);
  Map().SetZone("userchanged.example", "https", 3);
  std::string before = Touched();

  BlocklistApplied applied = Apply(kList + "0.0.0.0 a.userchanged.example\n");
  ASSERT_EQ(applied.error, "");
  EXPECT_EQ(applied.created, 4u);
  EXPECT_EQ(applied.changed, 1u);
  EXPECT_EQ(applied.alreadyRestricted, 1u);
  EXPECT_EQ(Map().Zone("fresh.example\\*.b", "*"), 4u);
  EXPECT_EQ(Map().Zone("trusted.example", "*"), 4u);
  std::vector<AppliedBlocklist> lists = AppliedBlocklists(Store());
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].name, "ads");
  EXPECT_EQ(lists[0].source, "ads.txt");
  EXPECT_EQ(lists[0].created + lists[0].changed, 5u);

  // The user has the last word on two of them.
  Map().SetZone("userchanged.example", "*", 2);
  HKEY key = 0;
  ASSERT_EQ(Store().RegOpenKeyA(HKEY_CURRENT_USER, ZoneMap::Path("gone.example"), &key), ERROR_SUCCESS);
  Store().RegDeleteValueA(key, "*");
  Store().RegCloseKey(key);

  BlocklistUndone undone = UndoBlocklist(Store(), "ads", false);
  ASSERT_EQ(undone.error, "");
  EXPECT_EQ(undone.removed, 2u);
  EXPECT_EQ(undone.restored, 1u);
  ASSERT_EQ(undone.left.size(), 2u);
  EXPECT_EQ(undone.left[0].key, "gone.example");
  EXPECT_EQ(undone.left[0].state, "deleted since");
  EXPECT_EQ(undone.left[1].state, "now Trusted (2)");
  // Apart from the user's own change, the store is as it was before the list.
  HKEY changed = 0;
  ASSERT_EQ(Store().RegOpenKeyA(HKEY_CURRENT_USER, ZoneMap::Path("userchanged.example"), &changed), ERROR_SUCCESS);
  Store().RegDeleteValueA(changed, "*");
  Store().RegCloseKey(changed);
  EXPECT_EQ(Touched(), before);
  EXPECT_FALSE(UndoBlocklist(Store(), "ads", false).found);
}

// A list naming one host of a site leaves the site's other hosts alone.
TEST_P(BlocklistTest, RestrictsExactlyTheHostsItNames) {
  std::string before = Touched();
  Blocklist list = ReadBlocklist("0.0.0.0 ads.google.com\n0.0.0.0 analytics.news-site.test\n");
  ASSERT_EQ(ApplyBlocklist(Reg(), "hosts", "hosts", list, false).error, "");
  EXPECT_EQ(ZoneForUrl(Store(), "https://ads.google.com/").zone, 4u);
  EXPECT_EQ(ZoneForUrl(Store(), "https://mail.google.com/").verdict, ZoneVerdict::NotListed);
  EXPECT_EQ(ZoneForUrl(Store(), "http://www.news-site.test/").verdict, ZoneVerdict::NotListed);
  EXPECT_EQ(UndoBlocklist(Store(), "hosts", false).removed, 2u);
  EXPECT_EQ(Touched(), before);
}

TEST_P(BlocklistTest, ApplyingAgainAddsOnlyWhatIsNewAndKeepsOneRecord) {
  ASSERT_EQ(Apply(kList).error, "");
  Map().SetZone("fresh.example", "*", 2);  // the user's choice survives the second apply
  BlocklistApplied again = Apply(kList + "0.0.0.0 www.new.example\n");
  EXPECT_EQ(again.created, 1u);
  EXPECT_EQ(again.recordedBefore, 5u);
  EXPECT_EQ(Map().Zone("fresh.example", "*"), 2u);
  std::vector<AppliedBlocklist> lists = AppliedBlocklists(Store());
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].created, 6u);
}

TEST_P(BlocklistTest, ApplyingAgainLeavesAChangedListingTheUserSetBack) {
  Map().SetZone("trusted.example", "*", 2);
  ASSERT_EQ(Apply(kList).error, "");
  Map().SetZone("trusted.example", "*", 2);
  ASSERT_EQ(Apply(kList).error, "");
  EXPECT_EQ(Map().Zone("trusted.example", "*"), 2u);
}

TEST_P(BlocklistTest, UndoingOneListKeepsWhatAnotherAppliedListRestricts) {
  Map().SetZone("trusted.example", "*", 2);
  std::string before = Touched();
  Blocklist hosts = ReadBlocklist("0.0.0.0 www.trusted.example\n0.0.0.0 www.fresh.example\n", true);
  ASSERT_EQ(ApplyBlocklist(Reg(), "first", "a.txt", hosts, false).error, "");
  ASSERT_EQ(ApplyBlocklist(Reg(), "second", "b.txt", hosts, false).error, "");
  BlocklistUndone undone = UndoBlocklist(Store(), "first", false);
  ASSERT_EQ(undone.error, "");
  EXPECT_EQ(Map().Zone("trusted.example", "*"), 4u);
  EXPECT_EQ(Map().Zone("fresh.example", "*"), 4u);
  ASSERT_EQ(undone.left.size(), 2u);
  EXPECT_EQ(undone.left[0].state, "kept: the blocklist \"second\" restricts it too");
  // The last list undone puts back what was there before both.
  ASSERT_EQ(UndoBlocklist(Store(), "second", false).error, "");
  EXPECT_EQ(Touched(), before);
}

TEST_P(BlocklistTest, DryRunsWriteNothing) {
  Map().SetZone("trusted.example", "*", 2);
  std::string before = Touched();
  BlocklistApplied dry = Apply(kList, true);
  EXPECT_EQ(dry.created, 4u);
  EXPECT_EQ(dry.changed, 1u);
  EXPECT_EQ(Touched(), before);
  ASSERT_EQ(Apply(kList).error, "");
  before = Touched();
  EXPECT_EQ(UndoBlocklist(Store(), "ads", true).removed, 4u);
  EXPECT_EQ(Touched(), before);
}

// Fails the n-th key creation, as a store that runs out of room would.
class FailingCreateStore : public ForwardingStore {
 public:
  FailingCreateStore(RegistryStore& target, int failAt) : ForwardingStore(target), left_(failAt) {}
  LONG RegCreateKeyExA(HKEY key, RegName sub, DWORD reserved, RegName cls, DWORD options, REGSAM sam,
                       const void* security, HKEY* result, DWORD* disposition) override {
    if (--left_ == 0) return ERROR_DISK_FULL;
    return ForwardingStore::RegCreateKeyExA(key, sub, reserved, cls, options, sam, security, result, disposition);
  }

 private:
  int left_;
};

TEST_P(BlocklistTest, AFailureMidwayLeavesTheStoreAsItWas) {
  if (!Store().SupportsRollback()) GTEST_SKIP() << "the platform's registry keeps what was written; the error says so";
  Map().SetZone("trusted.example", "*", 2);
  std::string before = Touched();
  FailingCreateStore failing(Store(), 5);
  Registry registry(failing);
  BlocklistApplied applied = ApplyBlocklist(registry, "ads", "ads.txt", ReadBlocklist(kList, true), false);
  EXPECT_EQ(applied.status, ERROR_DISK_FULL);
  EXPECT_NE(applied.error.find("nothing was written"), std::string::npos) << applied.error;
  EXPECT_EQ(Touched(), before);
}

INSTANTIATE_TEST_SUITE_P(Blocklist, BlocklistTest, testing::ValuesIn(AllStoreKinds()), StoreKindName);

#if defined(PW_HAVE_SQLITE) && !defined(_WIN32)
TEST(BlocklistOnFile, AFailedRecordWriteEndsItsTransaction) {
  TempDir dir;
  std::string path = dir.File("store.db");
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    FailingCreateStore failing(*opened.store, 1);  // the record's first key
    Registry registry(failing);
    EXPECT_NE(ApplyBlocklist(registry, "ads", "ads.txt", ReadBlocklist("0.0.0.0 ads.example.com\n"), false).error, "");
    ZoneMap(*opened.store).SetZone("later.example", "*", 2);
  }
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  EXPECT_EQ(ZoneMap(*opened.store).Zone("later.example", "*"), 2u);
}

TEST(BlocklistKilled, AnApplyKilledMidwayLeavesTheStoreAsItWas) {
  TempDir dir;
  std::string path = dir.File("store.db");
  std::string before;
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    ZoneMap(*opened.store).SetZone("site10.example", "*", 2);
    before = DumpStore(*opened.store);
  }
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "0.0.0.0 www.site" + std::to_string(i) + ".example\n";
  auto apply = [&](RegistryStore& store) {
    Registry registry(store);
    return ApplyBlocklist(registry, "big", "big.txt", ReadBlocklist(text), false).error.empty() ? 0 : 1;
  };
  int status = RunInChildKilledAt(path, 3000, apply);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
  {
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    ASSERT_TRUE(opened.store) << opened.error;
    EXPECT_EQ(DumpStore(*opened.store), before);
  }
  status = RunInChildKilledAt(path, 0, apply);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  SqliteStore::OpenResult opened = SqliteStore::Open(path);
  ASSERT_TRUE(opened.store) << opened.error;
  EXPECT_EQ(ZoneMap(*opened.store).Zone("site10.example", "*"), 2u);
  EXPECT_EQ(ZoneMap(*opened.store).Zone("site10.example\\www", "*"), 4u);
  EXPECT_EQ(ZoneMap(*opened.store).Zone("site2999.example\\www", "*"), 4u);
}
#endif

}  // namespace
}  // namespace pw::test
