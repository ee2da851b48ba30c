// A store that owns another and runs a follow-up whenever a write under
// watched keys has landed: once at the commit of the outermost transaction, or
// at once for a write made outside any transaction. Every writer of either
// program gets it without knowing: whatever must follow a change of those keys
// (bringing the browsers' policy in step) hangs here, not on each caller.
//
// The follow-up gets the store inside, so its own writes are not watched and
// cannot start it again. What it returns as a failure goes to this store's
// error sink, after the write that started it has landed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/ForwardingStore.h"

namespace pw {

class FollowUpStore : public ForwardingStore {
 public:
  using FollowUp = std::function<std::optional<StoreFailure>(RegistryStore& inner)>;
  struct WatchedKey {
    HKEY hive;
    std::string path;  // the key and everything below it
  };

  FollowUpStore(std::unique_ptr<RegistryStore> inner, std::vector<WatchedKey> watched, FollowUp followUp);
  ~FollowUpStore() override;

  LONG RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) override;
  LONG RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) override;
  LONG RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass, DWORD dwOptions,
                       REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                       DWORD* lpdwDisposition) override;
  LONG RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override;
  LONG RegDeleteValueA(HKEY hKey, RegName lpValueName) override;
  LONG RegDeleteKeyA(HKEY hKey, RegName lpSubKey) override;
  LONG RegCloseKey(HKEY hKey) override;
  LONG BeginTransaction() override;
  LONG CommitTransaction() override;
  void RollbackTransaction() override;

  // Runs the follow-up now, whatever was written (after the follow-up's
  // settings themselves changed).
  void RunFollowUp();

 private:
  // Where a handle stands: inside a watched key, above one (with its path, to
  // place what is opened below it), or elsewhere (not recorded).
  struct Place {
    bool watched = false;
    HKEY hive = 0;
    std::vector<std::string> path;  // folded names; kept for keys above a watched one
  };

  std::optional<Place> PlaceOf(HKEY key) const;
  std::optional<Place> PlaceBelow(HKEY key, RegName subKey) const;
  void Remember(HKEY handle, const std::optional<Place>& place);
  void Written(bool watched);

  std::unique_ptr<RegistryStore> inner_;
  std::vector<Place> watched_;
  FollowUp followUp_;
  std::unordered_map<HKEY, Place> handles_;
  int depth_ = 0;       // open transactions
  bool pending_ = false;  // a watched write awaits the follow-up
};

}  // namespace pw
