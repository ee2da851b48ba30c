#include "registry/TreeStore.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "registry/NameFold.h"

namespace pw {
namespace {

constexpr REGSAM kAllRights = 0x3F;
constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericAll = 0x10000000u;

REGSAM EffectiveRights(REGSAM sam) {
  if (sam & (MAXIMUM_ALLOWED | kGenericAll)) return kAllRights;
  REGSAM rights = sam & kAllRights;
  if (sam & (kGenericRead | kGenericExecute)) rights |= KEY_READ & kAllRights;
  if (sam & kGenericWrite) rights |= KEY_WRITE & kAllRights;
  return rights;
}

bool IsHive(HKEY h) { return h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE; }

// Splits a relative path into its components. Runs of backslashes separate like
// one and trailing ones are ignored; a leading one is refused, as the platform
// refuses it.
LONG SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
  parts.clear();
  if (!path.empty() && path.front() == '\\') return ERROR_BAD_PATHNAME;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t end = path.find('\\', i);
    if (end == std::string_view::npos) end = path.size();
    if (end > i) {
      if (end - i > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
      parts.push_back(path.substr(i, end - i));
    }
    i = end + 1;
  }
  return ERROR_SUCCESS;
}

// Copies a name and its NUL into a caller's buffer, as the enumerations do.
LONG CopyName(std::string_view name, char* buffer, DWORD* length) {
  if (name.size() >= *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Type and data of a value into the caller's out-parameters.
LONG CopyData(DWORD type, const std::string& data, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (lpType) *lpType = type;
  if (!lpcbData) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(data.size());
  if (lpData) {
    if (size > *lpcbData) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(lpData, data.data(), size);
  }
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG CheckValueName(const RegName& name) {
  if (name.HasNul() || name.View().size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

}  // namespace

TreeStore::TreeStore() {
  currentUser_ = std::make_unique<Key>();
  currentUser_->id = kCurrentUserRootId;
  localMachine_ = std::make_unique<Key>();
  localMachine_->id = kLocalMachineRootId;
  byId_[kCurrentUserRootId] = currentUser_.get();
  byId_[kLocalMachineRootId] = localMachine_.get();
  currentUser_->written = localMachine_->written = NextWriteTime();
}

TreeStore::~TreeStore() {
  DropUnplacedKeys();
}

TreeStore::Key* TreeStore::RootOf(HKEY hive) const {
  if (hive == HKEY_CURRENT_USER) return currentUser_.get();
  if (hive == HKEY_LOCAL_MACHINE) return localMachine_.get();
  return nullptr;
}

TreeStore::Key* TreeStore::FindKeyById(std::int64_t id) const {
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

std::uint64_t TreeStore::NextWriteTime() {
  constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;  // 1970 in 100 ns units since 1601
  auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
  std::uint64_t now = kUnixEpoch + static_cast<std::uint64_t>(since.count()) / 100;
  lastWriteTime_ = std::max(now, lastWriteTime_ + 1);
  return lastWriteTime_;
}

void TreeStore::ClearTree() {
  DropUnplacedKeys();
  loadTime_ = NextWriteTime();
  for (Key* root : {currentUser_.get(), localMachine_.get()}) {
    root->written = loadTime_;
    root->children.clear();
    root->values.Clear();
    root->valuesLoaded = false;
    root->order.reset();
    root->orderStale = true;
  }
  byId_.clear();
  byId_[kCurrentUserRootId] = currentUser_.get();
  byId_[kLocalMachineRootId] = localMachine_.get();
}

bool TreeStore::ReadLoadedKey(std::int64_t id, std::int64_t parentId, std::string_view name,
                              std::string_view cls) {
  Key* parent = FindKeyById(parentId);
  if (!parent) return false;
  auto key = std::make_unique<Key>();
  key->id = id;
  FoldNameInto(name, foldBuffer_);
  key->names = KeyNames(name, foldBuffer_, cls);
  key->written = loadTime_;
  key->valuesLoaded = false;
  key->parent = parent;
  key->placed = false;
  unplaced_.push_back({id, key.get()});
  byId_[id] = key.release();
  return true;
}

bool TreeStore::Place(Key* key) {
  Key* parent = key->parent;
  if (!parent->placed) return true;
  key->depth = parent->depth + 1;
  auto& children = parent->children;
  std::string_view fold = key->Fold();
  // In the map's order each key goes at the end at constant cost; any other
  // key is searched for as usual.
  if (children.empty() || std::prev(children.end())->first < fold) {
    children.emplace_hint(children.end(), fold, key);
  } else {
    auto [it, inserted] = children.try_emplace(fold, nullptr);
    if (!inserted) return false;  // the name is taken; the key stays unplaced
    it->second.reset(key);
  }
  key->placed = true;
  parent->orderStale = true;
  return true;
}

bool TreeStore::PlaceLoadedKey(std::int64_t id) {
  // Ids rise by one but where keys were deleted, so a key's place in the list
  // is at most its distance from the first id: mostly right there.
  if (unplaced_.empty() || id < unplaced_.front().id) return true;
  auto limit = unplaced_.begin() +
               static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                   static_cast<std::uint64_t>(id - unplaced_.front().id), unplaced_.size() - 1));
  auto at = limit->id == id ? limit
                            : std::lower_bound(unplaced_.begin(), limit, id,
                                               [](const UnplacedKey& entry, std::int64_t want) {
                                                 return entry.id < want;
                                               });
  if (at->id != id) return true;
  return at->key->placed || Place(at->key);
}

bool TreeStore::PlaceRemainingKeys() {
  // In the order of ids every parent comes before its subkeys, so only the
  // subkeys of a key that could not be placed stay behind.
  bool allPlaced = true;
  for (auto [id, key] : unplaced_) {
    if (!key->placed) Place(key);
    allPlaced = allPlaced && key->placed;
  }
  // Its room goes too: a mirror lasts as long as its store.
  if (allPlaced) decltype(unplaced_)().swap(unplaced_);
  return allPlaced;
}

void TreeStore::DropUnplacedKeys() {
  // Before anything placed goes: an unplaced key holds no subkeys.
  for (auto [id, key] : unplaced_) {
    if (key->placed) continue;
    byId_.erase(key->id);
    delete key;
  }
  decltype(unplaced_)().swap(unplaced_);
}

void TreeStore::AttachLoadedValue(Key& key, std::string name, DWORD type, std::string data) {
  Value v;
  v.fold = FoldName(name);
  v.name = std::move(name);
  v.type = type;
  v.data = std::move(data);
  key.values.Put(std::move(v));
}

TreeStore::KeyNames::KeyNames(std::string_view name, std::string_view fold, std::string_view cls)
    : nameSize_(static_cast<std::uint32_t>(name.size())),
      foldSize_(fold == name ? kSameAsName : static_cast<std::uint32_t>(fold.size())),
      classSize_(static_cast<std::uint32_t>(cls.size())) {
  std::size_t size = name.size() + (foldSize_ == kSameAsName ? 0 : fold.size()) + cls.size();
  if (size == 0) return;
  text_ = std::make_unique_for_overwrite<char[]>(size);
  char* at = std::copy(name.begin(), name.end(), text_.get());
  if (foldSize_ != kSameAsName) at = std::copy(fold.begin(), fold.end(), at);
  std::copy(cls.begin(), cls.end(), at);
}

TreeStore::Key::~Key() {
  // Without recursion, whatever the depth: a key destroyed while a subtree
  // is taken apart hands its subkeys to the outermost destructor, which takes
  // them apart in turn; each map is walked once, as it is cleared.
  if (children.empty()) return;
  using Subkeys = decltype(children);
  static thread_local std::vector<Subkeys>* handedOver = nullptr;
  if (handedOver) {
    handedOver->push_back(std::move(children));
    return;
  }
  std::vector<Subkeys> pending;
  handedOver = &pending;
  children.clear();
  while (!pending.empty()) {
    Subkeys next = std::move(pending.back());
    pending.pop_back();
    next.clear();
  }
  handedOver = nullptr;
}

std::unique_ptr<TreeStore::Key> TreeStore::CloneKey(const Key& key, Key* parent) {
  auto copyOne = [](const Key& from, Key* to) {
    auto copy = std::make_unique<Key>();
    copy->id = from.id;
    copy->depth = from.depth;
    copy->names = from.names;
    copy->written = from.written;
    copy->parent = to;
    copy->values = from.values;
    copy->valuesLoaded = from.valuesLoaded;
    return copy;
  };
  std::unique_ptr<Key> top = copyOne(key, parent);
  std::vector<std::pair<const Key*, Key*>> pending{{&key, top.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const auto& [fold, child] : from->children) {
      std::unique_ptr<Key> copy = copyOne(*child, to);
      pending.emplace_back(child.get(), copy.get());
      std::string_view name = copy->Fold();
      to->children.emplace(name, std::move(copy));
    }
  }
  return top;
}

std::unique_ptr<TreeStore::Snapshot> TreeStore::TakeSnapshot() const {
  auto snapshot = std::make_unique<Snapshot>();
  snapshot->currentUser = CloneKey(*currentUser_, nullptr);
  snapshot->localMachine = CloneKey(*localMachine_, nullptr);
  return snapshot;
}

void TreeStore::RestoreSnapshot(const Snapshot& snapshot) {
  ++localChanges_;
  currentUser_ = CloneKey(*snapshot.currentUser, nullptr);
  localMachine_ = CloneKey(*snapshot.localMachine, nullptr);
  byId_.clear();
  IndexKey(currentUser_.get());
  IndexKey(localMachine_.get());
}

void TreeStore::IndexKey(Key* key) {
  std::vector<Key*> pending{key};
  while (!pending.empty()) {
    Key* next = pending.back();
    pending.pop_back();
    byId_[next->id] = next;
    for (auto& [fold, child] : next->children) pending.push_back(child.get());
  }
}

void TreeStore::UnindexSubtree(Key* key) {
  std::vector<Key*> pending{key};
  while (!pending.empty()) {
    Key* next = pending.back();
    pending.pop_back();
    byId_.erase(next->id);
    for (auto& [fold, child] : next->children) pending.push_back(child.get());
  }
}

const TreeStore::SubkeyOrder& TreeStore::Ordered(Key& key) {
  static const SubkeyOrder kNone;
  if (key.orderStale) {
    key.orderStale = false;
    if (key.children.empty()) {
      key.order.reset();
    } else {
      if (!key.order) key.order = std::make_unique<SubkeyOrder>();
      SubkeyOrder& order = *key.order;
      order.children.clear();
      order.children.reserve(key.children.size());
      std::size_t room = 0;
      for (auto& [fold, child] : key.children) room += child->Name().size();
      order.names.clear();
      order.names.reserve(room);
      for (auto& [fold, child] : key.children) {
        order.children.push_back({child.get(), static_cast<std::uint32_t>(order.names.size()),
                                  static_cast<std::uint32_t>(child->Name().size())});
        order.names += child->Name();
      }
    }
  }
  return key.order ? *key.order : kNone;
}

LONG TreeStore::ResolveHandle(HKEY hKey, Key** key, REGSAM* access) const {
  std::int64_t id;
  REGSAM rights;
  if (IsHive(hKey)) {
    id = hKey == HKEY_CURRENT_USER ? kCurrentUserRootId : kLocalMachineRootId;
    rights = kAllRights;
  } else {
    auto it = handles_.find(hKey);
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    id = it->second.keyId;
    rights = it->second.access;
  }
  Key* found = FindKeyById(id);
  if (!found) return ERROR_KEY_DELETED;
  *key = found;
  if (access) *access = rights;
  return ERROR_SUCCESS;
}

LONG TreeStore::EnsureValues(Key& key) {
  return key.valuesLoaded ? ERROR_SUCCESS : LoadValues(key);
}

LONG TreeStore::CurrentKey(HKEY hKey, REGSAM needed, Key** key) {
  LONG status = Revalidate();
  REGSAM rights = 0;
  if (status == ERROR_SUCCESS) status = ResolveHandle(hKey, key, &rights);
  if (status == ERROR_SUCCESS && (rights & needed) != needed) status = ERROR_ACCESS_DENIED;
  return status;
}

HKEY TreeStore::NewHandle(std::int64_t keyId, REGSAM access) {
  // Handle values are multiples of 4 below the hive range, never 0, and not
  // reused while open.
  do {
    nextHandle_ += 4;
    if (nextHandle_ >= 0x7FFFFFF0u) nextHandle_ = 0x104;
  } while (handles_.count(nextHandle_));
  handles_.emplace(nextHandle_, OpenHandle{keyId, access});
  return nextHandle_;
}

LONG TreeStore::BeginWrite(const char* operation) {
  if (txnDepth_ > 0) return txnStatus_;
  return BeginPhysical(operation, false);
}

LONG TreeStore::EndWrite(const char* operation, LONG status) {
  if (status == ERROR_SUCCESS) ++localChanges_;
  if (txnDepth_ > 0) return status;  // a refused operation wrote nothing
  if (status != ERROR_SUCCESS) {
    RollbackPhysical();
    return status;
  }
  return CommitPhysical(operation);
}

LONG TreeStore::FailWrite(LONG status) {
  if (txnDepth_ > 0) {
    if (txnStatus_ == ERROR_SUCCESS) txnStatus_ = status;  // the commit will undo it all
    return status;
  }
  RollbackPhysical();
  return status;
}

LONG TreeStore::BeginTransaction() {
  if (txnDepth_ == 0) {
    LONG status = BeginPhysical("transaction", true);
    if (status != ERROR_SUCCESS) return status;
    txnStatus_ = ERROR_SUCCESS;
  }
  ++txnDepth_;
  return ERROR_SUCCESS;
}

LONG TreeStore::CommitTransaction() {
  if (txnDepth_ == 0) return ERROR_INVALID_PARAMETER;
  if (--txnDepth_ > 0) return ERROR_SUCCESS;
  if (txnStatus_ != ERROR_SUCCESS) {
    RollbackPhysical();
    return txnStatus_;
  }
  return CommitPhysical("transaction");
}

void TreeStore::RollbackTransaction() {
  if (txnDepth_ == 0) return;
  txnDepth_ = 0;  // undoes the outermost transaction with everything nested in it
  RollbackPhysical();
}

LONG TreeStore::OpenPath(HKEY hKey, RegName path, REGSAM access, bool sameHandleForEmpty,
                         HKEY* phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = Revalidate();
  if (status == ERROR_SUCCESS) status = ResolveHandle(hKey, &key, nullptr);
  if (status == ERROR_INVALID_HANDLE) return status;  // *phkResult left alone, as the platform does
  *phkResult = 0;
  if (status != ERROR_SUCCESS) return status;
  if (path.HasNul()) return ERROR_INVALID_PARAMETER;
  std::vector<std::string_view> parts;
  status = SplitPath(path.View(), parts);
  if (status != ERROR_SUCCESS) return status;
  if (parts.empty() && sameHandleForEmpty && path.IsEmpty()) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  for (std::string_view part : parts) {
    auto it = key->children.find(FoldName(part));
    if (it == key->children.end()) return ERROR_FILE_NOT_FOUND;
    key = it->second.get();
  }
  *phkResult = NewHandle(key->id, EffectiveRights(access));
  return ERROR_SUCCESS;
}

LONG TreeStore::RegOpenKeyExA(HKEY hKey, RegName lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
  return OpenPath(hKey, lpSubKey, samDesired, false, phkResult);
}

LONG TreeStore::RegOpenKeyA(HKEY hKey, RegName lpSubKey, HKEY* phkResult) {
  return OpenPath(hKey, lpSubKey, MAXIMUM_ALLOWED, true, phkResult);
}

LONG TreeStore::RegCreateKeyExA(HKEY hKey, RegName lpSubKey, DWORD, RegName lpClass, DWORD,
                                REGSAM samDesired, const void*, HKEY* phkResult,
                                DWORD* lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = Revalidate();
  if (status == ERROR_SUCCESS) status = ResolveHandle(hKey, &key, nullptr);
  if (status == ERROR_INVALID_HANDLE) return status;
  *phkResult = 0;
  if (status != ERROR_SUCCESS) return status;
  if (lpSubKey.HasNul() || lpClass.HasNul() || !AcceptsName(lpSubKey.View())) return ERROR_INVALID_PARAMETER;
  std::vector<std::string_view> parts;
  status = SplitPath(lpSubKey.View(), parts);
  if (status != ERROR_SUCCESS) return status;
  if (key->depth + parts.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;

  // Most calls find the key already there: open it without taking the write lock.
  auto walk = [&](Key* from, std::size_t& matched) {
    matched = 0;
    for (std::string_view part : parts) {
      auto it = from->children.find(FoldName(part));
      if (it == from->children.end()) break;
      from = it->second.get();
      ++matched;
    }
    return from;
  };
  std::size_t matched;
  Key* deepest = walk(key, matched);
  if (matched == parts.size()) {
    *phkResult = NewHandle(deepest->id, EffectiveRights(samDesired));
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }

  status = BeginWrite("RegCreateKeyExA");
  if (status != ERROR_SUCCESS) return status;
  // The store may have changed before the lock was taken: look again.
  status = ResolveHandle(hKey, &key, nullptr);
  if (status != ERROR_SUCCESS) return EndWrite("RegCreateKeyExA", status);
  deepest = walk(key, matched);
  bool created = false;
  std::uint64_t now = NextWriteTime();
  for (std::size_t i = matched; i < parts.size(); ++i) {
    auto child = std::make_unique<Key>();
    child->names = KeyNames(parts[i], FoldName(parts[i]), lpClass.View());
    child->parent = deepest;
    child->depth = deepest->depth + 1;
    child->written = now;
    status = PersistKey(*child);
    if (status != ERROR_SUCCESS) return FailWrite(status);
    Key* raw = child.get();
    deepest->children.emplace(raw->Fold(), std::move(child));
    deepest->orderStale = true;
    deepest->written = now;
    byId_[raw->id] = raw;
    deepest = raw;
    created = true;
  }
  status = EndWrite("RegCreateKeyExA", ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  *phkResult = NewHandle(deepest->id, EffectiveRights(samDesired));
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG TreeStore::RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD*,
                              char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = CurrentKey(hKey, KEY_ENUMERATE_SUB_KEYS, &key);
  if (status != ERROR_SUCCESS) return status;
  const Key* found;
  std::string_view name;
  if (dwIndex == 0 && key->orderStale) {
    // The first subkey, asked for alone (is the key empty?) after a change:
    // the map has it without rebuilding the order, which deleting the
    // subkeys of a large key one by one would otherwise do after each.
    if (key->children.empty()) return ERROR_NO_MORE_ITEMS;
    found = key->children.begin()->second.get();
    name = found->Name();
  } else {
    const SubkeyOrder& order = Ordered(*key);
    if (dwIndex >= order.children.size()) return ERROR_NO_MORE_ITEMS;
    const SubkeyOrder::Child& child = order.children[dwIndex];
    found = child.key;
    name = std::string_view(order.names).substr(child.nameAt, child.nameSize);
  }
  if (lpClass && lpcchClass && found->Class().size() >= *lpcchClass) return ERROR_MORE_DATA;
  status = CopyName(name, lpName, lpcchName);
  if (status != ERROR_SUCCESS) return status;
  if (lpClass && lpcchClass) CopyName(found->Class(), lpClass, lpcchClass);
  if (lpftLastWriteTime)
    *lpftLastWriteTime = FILETIME{static_cast<DWORD>(found->written), static_cast<DWORD>(found->written >> 32)};
  return ERROR_SUCCESS;
}

LONG TreeStore::RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                              DWORD*, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = CurrentKey(hKey, KEY_QUERY_VALUE, &key);
  if (status == ERROR_SUCCESS) status = EnsureValues(*key);
  if (status != ERROR_SUCCESS) return status;
  if (dwIndex >= key->values.Size()) return ERROR_NO_MORE_ITEMS;
  const Value& value = key->values.At(dwIndex);
  if (value.name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  status = CopyData(value.type, value.data, lpType, lpData, lpcbData);
  if (status != ERROR_SUCCESS) return status;
  return CopyName(value.name, lpValueName, lpcchValueName);
}

LONG TreeStore::RegQueryValueExA(HKEY hKey, RegName lpValueName, DWORD* lpReserved, DWORD* lpType,
                                 BYTE* lpData, DWORD* lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = CurrentKey(hKey, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  if (CheckValueName(lpValueName) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
  status = EnsureValues(*key);
  if (status != ERROR_SUCCESS) return status;
  const Value* value = key->values.Find(FoldName(lpValueName.View()));
  if (!value) return ERROR_FILE_NOT_FOUND;
  return CopyData(value->type, value->data, lpType, lpData, lpcbData);
}

LONG TreeStore::RegSetValueExA(HKEY hKey, RegName lpValueName, DWORD, DWORD dwType,
                               const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData > 0) return ERROR_NOACCESS;
  if (CheckValueName(lpValueName) != ERROR_SUCCESS || !AcceptsName(lpValueName.View())) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = CurrentKey(hKey, KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;

  status = BeginWrite("RegSetValueExA");
  if (status != ERROR_SUCCESS) return status;
  status = ResolveHandle(hKey, &key, nullptr);
  if (status == ERROR_SUCCESS) status = EnsureValues(*key);
  if (status != ERROR_SUCCESS) return EndWrite("RegSetValueExA", status);
  Value value;
  value.name = std::string(lpValueName.View());
  value.fold = FoldName(value.name);
  value.type = dwType;
  value.data.assign(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  const Value* existing = key->values.Find(value.fold);
  if (existing) value.name = existing->name;  // the first spelling stays
  status = PersistValue(*key, value, !existing);
  if (status != ERROR_SUCCESS) return FailWrite(status);
  key->values.Put(std::move(value));
  key->written = NextWriteTime();
  return EndWrite("RegSetValueExA", ERROR_SUCCESS);
}

LONG TreeStore::RegDeleteValueA(HKEY hKey, RegName lpValueName) {
  if (CheckValueName(lpValueName) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
  Key* key;
  LONG status = CurrentKey(hKey, KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  std::string fold = FoldName(lpValueName.View());
  status = EnsureValues(*key);
  if (status != ERROR_SUCCESS) return status;
  if (!key->values.Find(fold)) return ERROR_FILE_NOT_FOUND;

  status = BeginWrite("RegDeleteValueA");
  if (status != ERROR_SUCCESS) return status;
  status = ResolveHandle(hKey, &key, nullptr);
  if (status == ERROR_SUCCESS) status = EnsureValues(*key);
  if (status != ERROR_SUCCESS) return EndWrite("RegDeleteValueA", status);
  const Value* value = key->values.Find(fold);
  if (!value) return EndWrite("RegDeleteValueA", ERROR_FILE_NOT_FOUND);
  status = PersistValueDelete(*key, *value);
  if (status != ERROR_SUCCESS) return FailWrite(status);
  key->values.Erase(fold);
  key->written = NextWriteTime();
  return EndWrite("RegDeleteValueA", ERROR_SUCCESS);
}

LONG TreeStore::RegDeleteKeyA(HKEY hKey, RegName lpSubKey) {
  if (lpSubKey.IsNull()) return ERROR_INVALID_PARAMETER;
  if (lpSubKey.HasNul()) return ERROR_INVALID_PARAMETER;
  std::vector<std::string_view> parts;
  LONG status = SplitPath(lpSubKey.View(), parts);
  if (status != ERROR_SUCCESS) return status;
  Key* key;
  status = Revalidate();
  if (status == ERROR_SUCCESS) status = ResolveHandle(hKey, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;

  auto find = [&](Key* from) -> Key* {
    for (std::string_view part : parts) {
      auto it = from->children.find(FoldName(part));
      if (it == from->children.end()) return nullptr;
      from = it->second.get();
    }
    return from;
  };
  Key* target = find(key);
  if (!target) return ERROR_FILE_NOT_FOUND;
  if (!target->parent) return ERROR_ACCESS_DENIED;  // a hive
  if (!target->children.empty()) return ERROR_ACCESS_DENIED;

  status = BeginWrite("RegDeleteKeyA");
  if (status != ERROR_SUCCESS) return status;
  status = ResolveHandle(hKey, &key, nullptr);
  if (status != ERROR_SUCCESS) return EndWrite("RegDeleteKeyA", status);
  target = find(key);
  if (!target) return EndWrite("RegDeleteKeyA", ERROR_FILE_NOT_FOUND);
  if (!target->parent || !target->children.empty()) return EndWrite("RegDeleteKeyA", ERROR_ACCESS_DENIED);
  status = PersistKeyDelete(*target);
  if (status != ERROR_SUCCESS) return FailWrite(status);
  Key* parent = target->parent;
  UnindexSubtree(target);
  parent->children.erase(parent->children.find(target->Fold()));
  parent->orderStale = true;
  parent->written = NextWriteTime();
  return EndWrite("RegDeleteKeyA", ERROR_SUCCESS);
}

LONG TreeStore::RegCloseKey(HKEY hKey) {
  if (IsHive(hKey)) return ERROR_SUCCESS;
  return handles_.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace pw
