#include <gtest/gtest.h>

#include "StoreKinds.h"


#include "TempDir.h"
#include "registry/MemoryStore.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif

namespace pw::test {
namespace {

#if defined(PW_HAVE_SQLITE)
// An SQLite store in a folder that lives as long as the store.

std::unique_ptr<RegistryStore> MakeSqlite() {
  static TempDir dir;  // one folder for the whole run of the test program
  static int counter = 0;
  std::string path = dir.File("store" + std::to_string(++counter) + ".db");
  SqliteStore::OpenResult result = SqliteStore::Open(path);
  EXPECT_TRUE(result.store) << result.error;
  return std::move(result.store);
}
#endif

}  // namespace

std::vector<StoreKind> AllStoreKinds() {
  std::vector<StoreKind> kinds;
  kinds.push_back({"Memory", [] { return std::make_unique<MemoryStore>(); }, false});
#if defined(PW_HAVE_SQLITE)
  kinds.push_back({"Sqlite", MakeSqlite, false});
#endif
  return kinds;
}

}  // namespace pw::test
