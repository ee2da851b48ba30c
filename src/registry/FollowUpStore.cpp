#include "registry/FollowUpStore.h"

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

bool StartsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
  if (path.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (path[i] != prefix[i]) return false;
  return true;
}

}  // namespace

FollowUpStore::FollowUpStore(std::unique_ptr<RegistryStore> inner, std::vector<WatchedKey> watched,
                             FollowUp followUp)
    : ForwardingStore(*inner), inner_(std::move(inner)), followUp_(std::move(followUp)) {
  for (const WatchedKey& key : watched) {
    Place place{static_cast<int>(watched_.size()), "", key.hive, {}};
    AppendFolded(place.path, key.path);
    watched_.push_back(std::move(place));
  }
  pending_.resize(watched_.size());
  pendingNames_.resize(watched_.size());
  inner_->SetErrorSink([this](const StoreFailure& failure) { ReportFailure(failure); });
}

FollowUpStore::~FollowUpStore() { inner_->SetErrorSink({}); }

std::optional<FollowUpStore::Place> FollowUpStore::PlaceOf(HKEY key) const {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return Place{-1, "", key, {}};
  auto found = handles_.find(key);
  if (found == handles_.end()) return std::nullopt;
  return found->second;
}

std::optional<FollowUpStore::Place> FollowUpStore::PlaceBelow(HKEY key, RegName subKey) const {
  std::optional<Place> place = PlaceOf(key);
  if (!place) return place;
  std::vector<std::string> names;  // as the writer spelled them
  std::string_view text = subKey.View();
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find('\\', start), text.size());
    if (end > start) names.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (place->watched >= 0) {
    if (place->below.empty() && !names.empty()) place->below = names.front();
    return place;
  }
  std::size_t above = place->path.size();
  for (const std::string& name : names) place->path.push_back(FoldName(name));
  bool onTheWay = false;
  for (const Place& watched : watched_) {
    if (watched.hive != place->hive) continue;
    if (StartsWith(place->path, watched.path)) {
      std::size_t next = watched.path.size() - above;  // the first name below the watched key
      return Place{watched.watched, next < names.size() ? names[next] : "", place->hive, {}};
    }
    onTheWay = onTheWay || StartsWith(watched.path, place->path);
  }
  if (!onTheWay) return std::nullopt;
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

LONG FollowUpStore::RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD Reserved, DWORD dwType,
                                   const BYTE* lpData, DWORD cbData) {
  LONG status = ForwardingStore::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
  if (status == ERROR_SUCCESS) Written(PlaceOf(hKey));
  return status;
}

LONG FollowUpStore::RegDeleteValueA(HKEY hKey, RegName lpValueName) {
  LONG status = ForwardingStore::RegDeleteValueA(hKey, lpValueName);
  if (status == ERROR_SUCCESS) Written(PlaceOf(hKey));
  return status;
}

LONG FollowUpStore::RegDeleteKeyA(HKEY hKey, RegName lpSubKey) {
  std::optional<Place> place = PlaceBelow(hKey, lpSubKey);
  LONG status = ForwardingStore::RegDeleteKeyA(hKey, lpSubKey);
  if (status == ERROR_SUCCESS) Written(place);
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
  LONG status = ForwardingStore::CommitTransaction();
  if (depth_ > 0 && --depth_ == 0) {
    // A failed commit undid the writes where the store can; elsewhere they
    // landed one by one and must still be followed.
    if (status != ERROR_SUCCESS && SupportsRollback()) Forget();
    Written(std::nullopt);
  }
  return status;
}

void FollowUpStore::RollbackTransaction() {
  ForwardingStore::RollbackTransaction();
  if (depth_ > 0 && --depth_ == 0) {
    if (SupportsRollback()) Forget();
    Written(std::nullopt);
  }
}

void FollowUpStore::Forget() {
  for (Changes& changes : pending_) changes = Changes{};
  for (auto& names : pendingNames_) names.clear();
  anyPending_ = false;
}

void FollowUpStore::Written(const std::optional<Place>& place) {
  if (place && place->watched >= 0) {
    anyPending_ = true;
    Changes& changes = pending_[static_cast<std::size_t>(place->watched)];
    if (place->below.empty())
      changes.itself = true;
    else if (pendingNames_[static_cast<std::size_t>(place->watched)].insert(FoldName(place->below)).second)
      changes.below.push_back(place->below);
  }
  if (anyPending_ && depth_ == 0) {
    std::vector<Changes> changes = std::move(pending_);
    pending_.assign(watched_.size(), Changes{});
    Forget();
    RunFollowUp(&changes);
  }
}

void FollowUpStore::RunFollowUp(const std::vector<Changes>* changes) {
  if (!followUp_) return;
  if (std::optional<StoreFailure> failure = followUp_(*inner_, changes)) {
    failure->afterWrite = true;
    ReportFailure(*failure);
  }
}

}  // namespace pw
