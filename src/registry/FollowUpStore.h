// A store that owns another and runs a follow-up whenever a write under
// watched keys has landed: once at the commit of the outermost transaction, or
// at once for a write made outside any transaction. Every writer of either
// program gets it without knowing: whatever must follow a change of those keys
// (bringing the browsers' policy in step) hangs here, not on each caller.
//
// The follow-up gets the store inside, so its own writes are not watched and
// cannot start it again, and what was written: per watched key, the names of
// its direct subkeys that writes went into or below. What it returns as a
// failure goes to this store's error sink, after the write that started it has
// landed. What must land with the watched writes themselves (a count of them)
// hangs on `beforeCommit`, run inside their transaction just before it
// commits, with what they changed; a watched write outside any transaction
// then gets one of its own.
#pragma once

#include <cstdint>
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
  struct WatchedKey {
    HKEY hive;
    std::string path;  // the key and everything below it
  };
  // Writes under one watched key since the last follow-up.
  struct Changes {
    bool itself = false;             // a write to the watched key's own values, or to the key
    std::vector<std::string> below;  // the direct subkeys written into or below, as the writer named them
  };
  // `changes` is null when what changed is not known (RunFollowUp without any).
  using FollowUp =
      std::function<std::optional<StoreFailure>(RegistryStore& inner, const std::vector<Changes>* changes)>;

  using BeforeCommit = std::function<void(RegistryStore& inner, const std::vector<Changes>& changes)>;

  FollowUpStore(std::unique_ptr<RegistryStore> inner, std::vector<WatchedKey> watched, FollowUp followUp,
                BeforeCommit beforeCommit = {});
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

  // Runs the follow-up now with the changes given; without any, it is told
  // nothing of what changed.
  void RunFollowUp(const std::vector<Changes>* changes = nullptr);

 private:
  // Where a handle stands: inside a watched key (which one, and the subkey of
  // it that the handle is in or below), above one (with its path, to place
  // what is opened below it), or elsewhere (not recorded).
  struct Place {
    int watched = -1;
    std::string below;  // empty for the watched key itself
    HKEY hive = 0;
    std::vector<std::string> path;  // folded names; kept for keys above a watched one
  };

  const Place* PlaceOf(HKEY key) const;  // null: elsewhere
  std::optional<Place> PlaceBelow(HKEY key, RegName subKey) const;
  void Remember(HKEY handle, const std::optional<Place>& place);
  void Written(const Place* place);
  void Forget();
  // A watched write outside any transaction, which then gets one of its own.
  bool Alone(const Place* place) const;
  LONG InOwnTransaction(const std::function<LONG()>& write);

  std::unique_ptr<RegistryStore> inner_;
  std::vector<Place> watched_;
  Place hives_[2];
  FollowUp followUp_;
  BeforeCommit beforeCommit_;
  std::unordered_map<HKEY, Place> handles_;
  int depth_ = 0;  // open transactions
  // Watched writes awaiting the follow-up; each subkey name once, by its folded name.
  std::vector<Changes> pending_;
  // For each watched key, its pending `below` names by folded name: open
  // addressing over their places, each with 32 bits of its hash, a table at
  // most half full. A blocklist writes one name for each of its hosts; a node
  // and a folded copy each was a tenth of that command's memory.
  std::vector<std::vector<std::uint64_t>> pendingNames_;
  // Adds `name` to the watched key's pending names unless it is there under
  // any spelling; false when it was.
  bool AddPendingName(std::size_t watched, const std::string& name);
  bool anyPending_ = false;
};

}  // namespace pw
