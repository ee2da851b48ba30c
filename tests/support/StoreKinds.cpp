#include <gtest/gtest.h>

#include "StoreKinds.h"

#include "TempDir.h"
#include "registry/MemoryStore.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif
#if defined(_WIN32)
#include "RegistryCopy.h"
#include "registry/ForwardingStore.h"
#include "registry/KnownKeys.h"
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

#if defined(_WIN32)
struct OwnedWin32Store {
  Win32Store platform;
};

// The platform's registry as a fresh store (see AllStoreKinds).
class ScratchRegistry : private OwnedWin32Store, public ForwardingStore {
 public:
  ScratchRegistry() : ForwardingStore(platform) {
    for (auto [hive, path] : {std::pair(HKEY_CURRENT_USER, kInternetSettingsPath),
                              std::pair(HKEY_LOCAL_MACHINE, kExtensionsPath)}) {
      aside_.push_back({hive, path, CopyKey(platform, hive, path)});
      EXPECT_EQ(DeleteKeyTree(platform, hive, path), ERROR_SUCCESS) << path;
    }
  }
  ~ScratchRegistry() override {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      DeleteKeyTree(platform, it->first, it->second);
    for (const SetAside& key : aside_)
      EXPECT_TRUE(RestoreKey(platform, key.hive, key.path, key.copy)) << key.path;
  }

  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass,
                       DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                       HKEY* phkResult, DWORD* lpdwDisposition) override {
    if ((hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) && !lpSubKey.HasNul())
      NoteFirstMissing(hKey, std::string(lpSubKey.View()));
    return ForwardingStore::RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions,
                                            samDesired, lpSecurityAttributes, phkResult,
                                            lpdwDisposition);
  }

 private:
  struct SetAside {
    HKEY hive;
    std::string path;
    KeyCopy copy;
  };

  // Remembers the topmost key along the path that does not exist yet: the
  // create may make it, and then it goes with the store.
  void NoteFirstMissing(HKEY hive, const std::string& path) {
    std::string prefix;
    for (std::size_t start = 0; start < path.size();) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      if (end > start) {
        prefix += (prefix.empty() ? "" : "\\") + path.substr(start, end - start);
        HKEY key = 0;
        if (platform.RegOpenKeyExA(hive, prefix, 0, KEY_READ, &key) != ERROR_SUCCESS) {
          made_.emplace_back(hive, prefix);
          return;
        }
        platform.RegCloseKey(key);
      }
      start = end + 1;
    }
  }

  std::vector<SetAside> aside_;
  std::vector<std::pair<HKEY, std::string>> made_;
};
#endif

}  // namespace

std::vector<StoreKind> AllStoreKinds() {
  std::vector<StoreKind> kinds;
  kinds.push_back({"Memory", [] { return std::make_unique<MemoryStore>(); }, false});
#if defined(PW_HAVE_SQLITE)
  kinds.push_back({"Sqlite", MakeSqlite, false});
#endif
#if defined(_WIN32)
  kinds.push_back({"Win32", [] { return std::make_unique<ScratchRegistry>(); }, RunningOnWine()});
#endif
  return kinds;
}

}  // namespace pw::test
