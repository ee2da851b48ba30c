#include "registry/FollowUpStore.h"

#include "common/Ascii.h"

#include <algorithm>

#include "registry/NameFold.h"

namespace pw {
namespace {

void AppendFolded(std::vector<std::string>& path, std::string_view subKey) {
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t end = subKey.find('\\', start);
    if (end == std::string_view::npos) end = subKey.size();
    if (end > start) path.push_back(FoldName(subKey.substr(start, end - start)));
    start = end + 1;
  }
}

// Whether a name as a writer spelled it folds to `folded`; plain ASCII names,
// nearly all, are compared without making the folded text.
bool SameFolded(std::string_view name, const std::string& folded) {
  for (char c : name)
    if (static_cast<unsigned char>(c) >= 0x80) return FoldName(name) == folded;
  if (name.size() != folded.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (AsciiUpper(name[i]) != folded[i]) return false;
  }
  return true;
}

}  // namespace

FollowUpStore::FollowUpStore(std::unique_ptr<RegistryStore> inner, std::vector<WatchedKey> watched,
                             FollowUp followUp, BeforeCommit beforeCommit)
    : ForwardingStore(*inner),
      inner_(std::move(inner)),
      followUp_(std::move(followUp)),
      beforeCommit_(std::move(beforeCommit)) {
  for (const WatchedKey& key : watched) {
    Place place{static_cast<int>(watched_.size()), "", key.hive, {}};
    AppendFolded(place.path, key.path);
    watched_.push_back(std::move(place));
  }
  hives_[0].hive = HKEY_CURRENT_USER;
  hives_[1].hive = HKEY_LOCAL_MACHINE;
  pending_.resize(watched_.size());
  pendingNames_.resize(watched_.size());
  // The follow-up's failures are reported here: so must the inner store's be,
  // sink or not.
  RelayFailuresOf(*inner_);
}

FollowUpStore::~FollowUpStore() { StopRelaying(); }

const FollowUpStore::Place* FollowUpStore::PlaceOf(HKEY key) const {
  if (key == HKEY_CURRENT_USER) return &hives_[0];
  if (key == HKEY_LOCAL_MACHINE) return &hives_[1];
  auto found = handles_.find(key);
  return found == handles_.end() ? nullptr : &found->second;
}

std::optional<FollowUpStore::Place> FollowUpStore::PlaceBelow(HKEY key, RegName subKey) const {
  const Place* parent = PlaceOf(key);
  if (!parent) return std::nullopt;
  // The names as the writer spelled them; the room is kept from call to call,
  // since the site list's rebuild opens a key for every listing.
  static thread_local std::vector<std::string_view> names;
  names.clear();
  std::string_view text = subKey.View();
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find('\\', start), text.size());
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (parent->watched >= 0) {
    Place place = *parent;
    if (place.below.empty() && !names.empty()) place.below = names.front();
    return place;
  }
  std::size_t depth = parent->path.size();
  bool onTheWay = false;
  for (const Place& watched : watched_) {
    if (watched.hive != parent->hive || depth > watched.path.size() ||
        !std::equal(parent->path.begin(), parent->path.end(), watched.path.begin()))
      continue;
    std::size_t i = 0;
    while (i < names.size() && depth + i < watched.path.size() && SameFolded(names[i], watched.path[depth + i])) ++i;
    if (depth + i == watched.path.size()) {
      std::string below = i < names.size() ? std::string(names[i]) : "";
      return Place{watched.watched, std::move(below), parent->hive, {}};
    }
    onTheWay = onTheWay || i == names.size();
  }
  if (!onTheWay) return std::nullopt;
  Place place{-1, "", parent->hive, parent->path};
  for (std::string_view name : names) place.path.push_back(FoldName(name));
  return place;
}

void FollowUpStore::Remember(HKEY handle, const std::optional<Place>& place) {
  if (handle == 0 || handle == HKEY_CURRENT_USER || handle == HKEY_LOCAL_MACHINE) return;
  if (place)
    handles_[handle] = *place;
  else
    handles_.erase(handle);
}

LONG FollowUpStore::RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                  HKEY* phkResult) {
  LONG status = ForwardingStore::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult);
  if (status == ERROR_SUCCESS) Remember(*phkResult, PlaceBelow(hKey, lpSubKey));
  return status;
}

LONG FollowUpStore::RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) {
  LONG status = ForwardingStore::RegOpenKeyA(hKey, lpSubKey, phkResult);
  if (status == ERROR_SUCCESS && *phkResult != hKey) Remember(*phkResult, PlaceBelow(hKey, lpSubKey));
  return status;
}

LONG FollowUpStore::RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD Reserved, RegName lpClass, DWORD dwOptions,
                                    REGSAM samDesired, const void* lpSecurityAttributes, HKEY* phkResult,
                                    DWORD* lpdwDisposition) {
  // A key made empty changes no listing; only what is written into it does.
  LONG status = ForwardingStore::RegCreateKeyExA(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired,
                                                 lpSecurityAttributes, phkResult, lpdwDisposition);
  if (status == ERROR_SUCCESS) Remember(*phkResult, PlaceBelow(hKey, lpSubKey));
  return status;
}

bool FollowUpStore::Alone(const Place* place) const {
  return beforeCommit_ && depth_ == 0 && place && place->watched >= 0;
}

LONG FollowUpStore::InOwnTransaction(const std::function<LONG()>& write) {
  LONG status = BeginTransaction();
  if (status != ERROR_SUCCESS) return status;
  status = write();
  if (status == ERROR_SUCCESS) return CommitTransaction();
  RollbackTransaction();
  return status;
}

LONG FollowUpStore::RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                                   const BYTE* lpData, DWORD cbData) {
  if (Alone(PlaceOf(hKey)))
    return InOwnTransaction([&] { return RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData); });
  LONG status = ForwardingStore::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  if (status == ERROR_SUCCESS) Written(PlaceOf(hKey));
  return status;
}

LONG FollowUpStore::RegDeleteValueA(HKEY hKey, RegName lpValueName) {
  if (Alone(PlaceOf(hKey))) return InOwnTransaction([&] { return RegDeleteValueA(hKey, lpValueName); });
  LONG status = ForwardingStore::RegDeleteValueA(hKey, lpValueName);
  if (status == ERROR_SUCCESS) Written(PlaceOf(hKey));
  return status;
}

LONG FollowUpStore::RegDeleteKeyA(HKEY hKey, RegName lpSubKey) {
  std::optional<Place> place = PlaceBelow(hKey, lpSubKey);
  if (Alone(place ? &*place : nullptr)) return InOwnTransaction([&] { return RegDeleteKeyA(hKey, lpSubKey); });
  LONG status = ForwardingStore::RegDeleteKeyA(hKey, lpSubKey);
  if (status == ERROR_SUCCESS) Written(place ? &*place : nullptr);
  return status;
}

LONG FollowUpStore::RegCloseKey(HKEY hKey) {
  LONG status = ForwardingStore::RegCloseKey(hKey);
  if (status == ERROR_SUCCESS) Remember(hKey, std::nullopt);
  return status;
}

LONG FollowUpStore::BeginTransaction() {
  LONG status = ForwardingStore::BeginTransaction();
  if (status == ERROR_SUCCESS) ++depth_;
  return status;
}

LONG FollowUpStore::CommitTransaction() {
  if (depth_ == 1 && anyPending_ && beforeCommit_) beforeCommit_(*inner_, pending_);
  LONG status = ForwardingStore::CommitTransaction();
  if (depth_ > 0 && --depth_ == 0) {
    // A failed commit undid the writes where the store can; elsewhere they
    // landed one by one and must still be followed.
    if (status != ERROR_SUCCESS && SupportsRollback()) Forget();
    Written(nullptr);
  }
  return status;
}

void FollowUpStore::RollbackTransaction() {
  ForwardingStore::RollbackTransaction();
  if (depth_ > 0 && --depth_ == 0) {
    if (SupportsRollback()) Forget();
    Written(nullptr);
  }
}

void FollowUpStore::Forget() {
  for (Changes& changes : pending_) changes = Changes{};
  for (auto& names : pendingNames_) names = {};
  anyPending_ = false;
}

void FollowUpStore::Written(const Place* place) {
  if (place && place->watched >= 0) {
    anyPending_ = true;
    Changes& changes = pending_[static_cast<std::size_t>(place->watched)];
    if (place->below.empty())
      changes.itself = true;
    else
      AddPendingName(static_cast<std::size_t>(place->watched), place->below);
  }
  if (anyPending_ && depth_ == 0) {
    std::vector<Changes> changes = std::move(pending_);
    pending_.assign(watched_.size(), Changes{});
    Forget();
    RunFollowUp(&changes);
  }
}

bool FollowUpStore::AddPendingName(std::size_t watched, const std::string& name) {
  constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
  std::vector<std::string>& names = pending_[watched].below;
  std::vector<std::uint64_t>& table = pendingNames_[watched];
  auto hashOf = [](const std::string& fold) {
    return static_cast<std::uint32_t>(std::hash<std::string>{}(fold));
  };
  auto place = [&table](std::uint32_t hash, std::uint64_t entry) {
    std::size_t mask = table.size() - 1;
    std::size_t i = hash & mask;
    while (table[i] != kEmpty) i = (i + 1) & mask;
    table[i] = entry;
  };
  if ((names.size() + 1) * 2 > table.size()) {
    table.assign(std::max<std::size_t>(16, table.size() * 2), kEmpty);
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::uint32_t hash = hashOf(FoldName(names[i]));
      place(hash, (std::uint64_t{hash} << 32) | i);
    }
  }
  const std::string fold = FoldName(name);
  const std::uint32_t hash = hashOf(fold);
  std::size_t mask = table.size() - 1;
  for (std::size_t i = hash & mask; table[i] != kEmpty; i = (i + 1) & mask)
    if (static_cast<std::uint32_t>(table[i] >> 32) == hash &&
        FoldName(names[static_cast<std::uint32_t>(table[i])]) == fold)
      return false;
  place(hash, (std::uint64_t{hash} << 32) | names.size());
  names.push_back(name);
  return true;
}

void FollowUpStore::RunFollowUp(const std::vector<Changes>* changes) {
  if (!followUp_) return;
  if (std::optional<StoreFailure> failure = followUp_(*inner_, changes)) {
    failure->afterWrite = true;
    ReportFailure(*failure);
  }
}

}  // namespace pw
