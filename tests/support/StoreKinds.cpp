#include <gtest/gtest.h>

#include "StoreKinds.h"

#include "TempDir.h"
#include "registry/MemoryStore.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif
#if defined(_WIN32)
#include "registry/Win32Store.h"
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
#if defined(_WIN32)
  kinds.push_back({"Win32", [] { return std::make_unique<Win32Store>(); }, RunningOnWine()});
#endif
  return kinds;
}

}  // namespace pw::test
