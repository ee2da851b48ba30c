#include "enforcement/RegistryPolicy.h"

#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/RegData.h"

namespace pw {
namespace {

constexpr const char* kRecommended = "Recommended";

std::string Join(const std::string& key, const char* name) { return key + "\\" + name; }

// Values of a key by name; none when the key is missing.
std::map<std::string, EnumeratedValue> ValuesOf(RegistryStore& store, const std::string& path) {
  std::map<std::string, EnumeratedValue> values;
  KeyHandle key;
  if (key.Open(store, HKEY_LOCAL_MACHINE, path, KEY_READ) != ERROR_SUCCESS) return values;
  ForEachValue(store, key.get(), [&](const EnumeratedValue& value) {
    values.emplace(value.name, value);
    return true;
  });
  return values;
}

std::string SzData(const std::string& text) { return text + '\0'; }

std::string SzText(const EnumeratedValue& value) {
  std::size_t end = value.data.find('\0');
  return end == std::string::npos ? value.data : value.data.substr(0, end);
}

// The writes of one apply on one key, opened when first needed.
class KeyWriter {
 public:
  KeyWriter(RegistryStore& store, std::string path, std::string& error)
      : store_(store), path_(std::move(path)), error_(error) {}
  void Set(const std::string& name, DWORD type, const std::string& data) {
    if (!Open()) return;
    Check(store_.RegSetValueExA(key_.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size())));
  }
  void Delete(const std::string& name) {
    if (!Open()) return;
    LONG status = store_.RegDeleteValueA(key_.get(), name);
    if (status != ERROR_FILE_NOT_FOUND) Check(status);
  }

 private:
  bool Open() {
    if (key_) return true;
    if (!error_.empty()) return false;
    return Check(key_.Create(store_, HKEY_LOCAL_MACHINE, path_, kAccess3F));
  }
  bool Check(LONG status) {
    if (status != ERROR_SUCCESS && error_.empty())
      error_ = "HKEY_LOCAL_MACHINE\\" + path_ + " cannot be written (" + StatusName(status) + ")";
    return status == ERROR_SUCCESS;
  }

  RegistryStore& store_;
  std::string path_;
  std::string& error_;
  KeyHandle key_;
};

// Our entries of a list: the recorded values the key still holds unchanged,
// by name.
std::map<std::string, std::string> OurEntries(const std::map<std::string, EnumeratedValue>& current,
                                              const std::map<std::string, EnumeratedValue>& record) {
  std::map<std::string, std::string> ours;
  for (const auto& [name, written] : record) {
    auto found = current.find(name);
    if (found != current.end() && found->second.type == REG_SZ && written.type == REG_SZ &&
        SzText(found->second) == SzText(written))
      ours.emplace(name, SzText(written));
  }
  return ours;
}

void SyncList(RegistryStore& store, const std::string& listKey, const std::string& recordKey,
              const std::vector<std::string>& wanted, std::string& error) {
  std::map<std::string, EnumeratedValue> current = ValuesOf(store, listKey);
  std::map<std::string, EnumeratedValue> record = ValuesOf(store, recordKey);
  std::map<std::string, std::string> ours = OurEntries(current, record);
  if (wanted.empty() && ours.empty() && record.empty()) return;

  // The numbers the list's entries take: the lowest ones an administrator's
  // entry does not hold.
  std::set<long long> slots;
  for (long long number = 1; slots.size() < wanted.size(); ++number) {
    std::string name = std::to_string(number);
    if (!current.count(name) || ours.count(name)) slots.insert(number);
  }
  // An entry of ours that already holds a wanted pattern in one of those
  // numbers stays where it is; the other patterns take the numbers left.
  std::unordered_set<std::string> wantedSet(wanted.begin(), wanted.end());
  std::unordered_map<std::string, std::string> placed;  // pattern -> name
  std::set<long long> used;
  for (const auto& [name, pattern] : ours) {
    std::optional<std::int64_t> number = ParseDecimal(name);
    if (!number || !slots.count(*number) || std::to_string(*number) != name) continue;
    if (wantedSet.count(pattern) && placed.emplace(pattern, name).second) used.insert(*number);
  }
  std::map<std::string, std::string> final;  // name -> pattern
  auto slot = slots.begin();
  for (const std::string& pattern : wanted) {
    auto kept = placed.find(pattern);
    if (kept != placed.end()) {
      final.emplace(kept->second, pattern);
      continue;
    }
    while (used.count(*slot)) ++slot;
    used.insert(*slot);
    final.emplace(std::to_string(*slot), pattern);
  }

  KeyWriter list(store, listKey, error);
  KeyWriter mirror(store, recordKey, error);
  for (const auto& [name, pattern] : ours)
    if (!final.count(name)) list.Delete(name);
  for (const auto& [name, pattern] : final) {
    auto have = ours.find(name);
    if (have == ours.end() || have->second != pattern) list.Set(name, REG_SZ, SzData(pattern));
  }
  for (const auto& [name, written] : record) {
    auto wantedHere = final.find(name);
    if (wantedHere == final.end()) mirror.Delete(name);
  }
  for (const auto& [name, pattern] : final) {
    auto have = record.find(name);
    if (have == record.end() || have->second.type != REG_SZ || SzText(have->second) != pattern)
      mirror.Set(name, REG_SZ, SzData(pattern));
  }
}

// Returns false when an administrator's value was kept instead of ours.
bool SyncDefault(RegistryStore& store, const std::string& key, const std::string& recordKey,
                 std::optional<int> wanted, std::string& error) {
  std::map<std::string, EnumeratedValue> current = ValuesOf(store, key);
  std::map<std::string, EnumeratedValue> record = ValuesOf(store, recordKey);
  auto have = current.find(kDefaultScriptPolicy);
  auto written = record.find(kDefaultScriptPolicy);
  bool ours = have != current.end() && written != record.end() && have->second.type == written->second.type &&
              have->second.data == written->second.data;
  KeyWriter target(store, key, error);
  KeyWriter mirror(store, recordKey, error);
  if (!wanted) {
    if (ours) target.Delete(kDefaultScriptPolicy);
    if (written != record.end()) mirror.Delete(kDefaultScriptPolicy);
    return true;
  }
  if (have != current.end() && !ours) {
    if (written != record.end()) mirror.Delete(kDefaultScriptPolicy);
    return false;
  }
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>(static_cast<std::uint32_t>(*wanted) >> (8 * i));
  if (!ours || have->second.data != data) {
    target.Set(kDefaultScriptPolicy, REG_DWORD, data);
    mirror.Set(kDefaultScriptPolicy, REG_DWORD, data);
  }
  return true;
}

// Removes the key and the keys above it, up to `stop`, while they hold nothing.
void RemoveEmptyKeys(RegistryStore& store, std::string path, const std::string& stop) {
  while (path.size() > stop.size()) {
    KeyHandle key;
    if (key.Open(store, HKEY_LOCAL_MACHINE, path, KEY_READ) != ERROR_SUCCESS) return;
    std::string name;
    EnumeratedValue value;
    bool empty = EnumSubkeyAt(store, key.get(), 0, name) == ERROR_NO_MORE_ITEMS &&
                 EnumValueAt(store, key.get(), 0, value) == ERROR_NO_MORE_ITEMS;
    key.Close();
    if (!empty || store.RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) != ERROR_SUCCESS) return;
    path.erase(path.rfind('\\'));
  }
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

}  // namespace

RegistryPolicyResult ApplyRegistryPolicy(RegistryStore& store, const std::string& policyKey,
                                         const std::string& recordKey, const ScriptPolicy* policy, bool lists) {
  RegistryPolicyResult result;
  ScriptPolicy none;
  const ScriptPolicy& wanted = policy ? *policy : none;
  LONG status = RunInTransaction(store, [&] {
    if (lists || !policy) {
      SyncList(store, Join(policyKey, kBlockedScriptsPolicy), Join(recordKey, kBlockedScriptsPolicy), wanted.blocked,
               result.error);
      SyncList(store, Join(policyKey, kAllowedScriptsPolicy), Join(recordKey, kAllowedScriptsPolicy), wanted.allowed,
               result.error);
    }
    bool managed = SyncDefault(store, policyKey, recordKey, wanted.managedDefault, result.error);
    bool recommended = SyncDefault(store, Join(policyKey, kRecommended), Join(recordKey, kRecommended),
                                   wanted.recommendedDefault, result.error);
    result.keptDefault = !managed || !recommended;
    for (const char* list : {kBlockedScriptsPolicy, kAllowedScriptsPolicy, kRecommended}) {
      RemoveEmptyKeys(store, Join(policyKey, list), policyKey);
      RemoveEmptyKeys(store, Join(recordKey, list), recordKey);
    }
    // The policy key itself, and the vendor's key above it, when nothing is left.
    if (!policy) RemoveEmptyKeys(store, policyKey, ParentOf(ParentOf(policyKey)));
  });
  if (status != ERROR_SUCCESS && result.error.empty())
    result.error = "the store could not keep the policy (" + std::string(StatusName(status)) + ")";
  return result;
}

ScriptPolicy RegistryPolicyHeld(RegistryStore& store, const std::string& policyKey, const std::string& recordKey) {
  ScriptPolicy held;
  auto list = [&](const char* name, std::vector<std::string>& into) {
    std::map<long long, std::string> byNumber;
    for (const auto& [entry, pattern] :
         OurEntries(ValuesOf(store, Join(policyKey, name)), ValuesOf(store, Join(recordKey, name))))
      if (std::optional<std::int64_t> number = ParseDecimal(entry)) byNumber.emplace(*number, pattern);
    for (auto& [number, pattern] : byNumber) into.push_back(pattern);
  };
  list(kBlockedScriptsPolicy, held.blocked);
  list(kAllowedScriptsPolicy, held.allowed);
  auto fallback = [&](const std::string& key, const std::string& record) -> std::optional<int> {
    std::map<std::string, EnumeratedValue> current = ValuesOf(store, key);
    std::map<std::string, EnumeratedValue> written = ValuesOf(store, record);
    auto have = current.find(kDefaultScriptPolicy);
    auto mine = written.find(kDefaultScriptPolicy);
    if (have == current.end() || mine == written.end() || have->second.data != mine->second.data)
      return std::nullopt;
    std::optional<std::uint32_t> number = DwordValue(have->second.type, have->second.data);
    if (!number) return std::nullopt;
    return static_cast<int>(*number);
  };
  held.managedDefault = fallback(policyKey, recordKey);
  held.recommendedDefault = fallback(Join(policyKey, kRecommended), Join(recordKey, kRecommended));
  return held;
}

}  // namespace pw
