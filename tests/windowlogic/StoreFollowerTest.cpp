#include "windowlogic/StoreFollower.h"

#include <gtest/gtest.h>

#include "listings/SiteList.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/MemoryStore.h"

namespace pw {
namespace {

void List(RegistryStore& store, const std::string& domain) {
  KeyHandle key;
  ASSERT_EQ(key.Create(store, HKEY_CURRENT_USER, std::string(kDomainsPath) + "\\" + domain, KEY_ALL_ACCESS), ERROR_SUCCESS);
  DWORD zone = 2;
  ASSERT_EQ(store.RegSetValueExA(key.get(), "*", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zone), sizeof zone),
            ERROR_SUCCESS);
}

TEST(StoreFollower, OwnWriteRebuildsOnceAndAWriteDuringTheRebuildIsStillNews) {
  MemoryStore store;
  StoreFollower follower(store);
  SiteList sites;

  List(store, "own.example");  // the window's own write, then its rebuild
  sites.Rebuild(store);
  follower.Seen(sites.ReadStamp());
  EXPECT_FALSE(follower.Behind());

  List(store, "own2.example");
  bool written = false;
  sites.Rebuild(store, [&] {
    if (!written) List(store, "other.example");  // another program, in the middle of the read
    written = true;
  });
  follower.Seen(sites.ReadStamp());
  EXPECT_TRUE(follower.Behind());
}

}  // namespace
}  // namespace pw
