#include "enforcement/RegistryPolicy.h"

#include <algorithm>
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

// A list's values, read once into one text: those named by a number ("1",
// "2", ..., as the list's entries are) found by that number, the others by
// name. Lists hold up to 100,000 entries, read at every re-apply.
class ListValues {
 public:
  struct Value {
    std::string_view name;
    DWORD type;
    std::string_view data;
    std::string_view Sz() const { return data.substr(0, data.find('\0')); }
  };

  ListValues(RegistryStore& store, const std::string& path) {
    KeyHandle key;
    if (key.Open(store, HKEY_LOCAL_MACHINE, path, KEY_READ) != ERROR_SUCCESS) return;
    struct Place {
      std::size_t name, nameSize;
      DWORD type;
      std::size_t data, dataSize;
    };
    std::vector<Place> places;
    ForEachValue(store, key.get(), [&](const EnumeratedValue& value) {
      places.push_back({text_.size(), value.name.size(), value.type, text_.size() + value.name.size(), value.data.size()});
      text_ += value.name;
      text_ += value.data;
      return true;
    });
    key.Close();
    std::string_view text(text_);
    values_.reserve(places.size());
    for (const Place& place : places)
      values_.push_back({text.substr(place.name, place.nameSize), place.type, text.substr(place.data, place.dataSize)});
    for (std::size_t i = 0; i < values_.size(); ++i) {
      if (std::size_t number = NumberOf(values_[i].name)) {
        if (byNumber_.size() <= number) byNumber_.resize(std::max(number + 1, byNumber_.size() * 2), kNone);
        byNumber_[number] = static_cast<std::uint32_t>(i);
      } else {
        others_.emplace(values_[i].name, static_cast<std::uint32_t>(i));
      }
    }
  }
  ListValues(const ListValues&) = delete;
  ListValues& operator=(const ListValues&) = delete;

  const std::vector<Value>& All() const { return values_; }
  bool Empty() const { return values_.empty(); }
  const Value* At(std::size_t number) const {
    return number < byNumber_.size() && byNumber_[number] != kNone ? &values_[byNumber_[number]] : nullptr;
  }
  const Value* Find(std::string_view name) const {
    if (std::size_t number = NumberOf(name)) return At(number);
    auto found = others_.find(name);
    return found == others_.end() ? nullptr : &values_[found->second];
  }
  // The number a name writes out exactly ("7", not "07" or "+7"); 0 for none.
  static std::size_t NumberOf(std::string_view name) {
    if (name.empty() || name.size() > 9 || name[0] < '1' || name[0] > '9') return 0;
    std::size_t number = 0;
    for (char c : name) {
      if (c < '0' || c > '9') return 0;
      number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    return number;
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::string text_;
  std::vector<Value> values_;
  std::vector<std::uint32_t> byNumber_;
  std::unordered_map<std::string_view, std::uint32_t> others_;
};

// Patterns with a number each, in a table at most half full: no allocation
// per pattern.
class PatternNumbers {
 public:
  explicit PatternNumbers(std::size_t most) {
    std::size_t size = 16;
    while (size < most * 2) size *= 2;
    slots_.assign(size, Slot{});
  }
  // The number kept for the pattern; `number` is kept when there was none.
  std::size_t& Put(std::string_view pattern, std::size_t number) {
    Slot& slot = slots_[SlotOf(pattern)];
    if (!slot.number) slot = {pattern, number};
    return slot.number;
  }
  // 0 when the pattern has none.
  std::size_t Get(std::string_view pattern) const { return slots_[SlotOf(pattern)].number; }

 private:
  struct Slot {
    std::string_view pattern;
    std::size_t number = 0;
  };
  std::size_t SlotOf(std::string_view pattern) const {
    std::size_t mask = slots_.size() - 1;
    std::size_t i = std::hash<std::string_view>{}(pattern) & mask;
    while (slots_[i].number && slots_[i].pattern != pattern) i = (i + 1) & mask;
    return i;
  }
  std::vector<Slot> slots_;
};

// Names in the order a map of names gives them, as the writes go.
void SortNames(std::vector<std::string>& names) { std::sort(names.begin(), names.end()); }

void SyncList(RegistryStore& store, const std::string& listKey, const std::string& recordKey,
              const std::vector<std::string>& wanted, std::string& error) {
  using Value = ListValues::Value;
  ListValues current(store, listKey);
  ListValues record(store, recordKey);
  // Ours: the recorded values the list still holds unchanged.
  std::vector<const Value*> ours;           // record entries
  std::vector<std::uint32_t> oursByNumber;  // index in `ours` + 1, 0 for none
  for (const Value& written : record.All()) {
    const Value* found = current.Find(written.name);
    if (!found || found->type != REG_SZ || written.type != REG_SZ || found->Sz() != written.Sz()) continue;
    ours.push_back(&written);
    if (std::size_t number = ListValues::NumberOf(written.name)) {
      if (oursByNumber.size() <= number) oursByNumber.resize(std::max(number + 1, oursByNumber.size() * 2), 0);
      oursByNumber[number] = static_cast<std::uint32_t>(ours.size());
    }
  }
  if (wanted.empty() && ours.empty() && record.Empty()) return;
  auto ourAt = [&](std::size_t number) -> const Value* {
    return number < oursByNumber.size() && oursByNumber[number] ? ours[oursByNumber[number] - 1] : nullptr;
  };

  // The numbers the list's entries take: the lowest ones an administrator's
  // entry does not hold.
  std::vector<std::size_t> slots;
  slots.reserve(wanted.size());
  for (std::size_t number = 1; slots.size() < wanted.size(); ++number)
    if (!current.At(number) || ourAt(number)) slots.push_back(number);
  std::size_t top = slots.empty() ? 0 : slots.back();
  std::vector<char> isSlot(top + 1, 0), used(top + 1, 0);
  for (std::size_t number : slots) isSlot[number] = 1;
  // An entry of ours that already holds a wanted pattern in one of those
  // numbers stays where it is (the first by name, where several hold it);
  // the other patterns take the numbers left.
  PatternNumbers wantedSet(wanted.size());
  for (const std::string& pattern : wanted) wantedSet.Put(pattern, 1);
  PatternNumbers placed(ours.size());  // pattern -> number
  for (const Value* entry : ours) {
    std::size_t number = ListValues::NumberOf(entry->name);
    if (!number || number > top || !isSlot[number]) continue;
    std::string_view pattern = entry->Sz();
    if (!wantedSet.Get(pattern)) continue;
    std::size_t& at = placed.Put(pattern, number);
    if (at != number && std::to_string(number) < std::to_string(at)) at = number;
  }
  for (const Value* entry : ours) {
    std::size_t number = ListValues::NumberOf(entry->name);
    if (number && number <= top && placed.Get(entry->Sz()) == number) used[number] = 1;
  }
  std::vector<std::string_view> final(top + 1);  // by number
  std::vector<char> isFinal(top + 1, 0);
  std::size_t slot = 0;
  for (const std::string& pattern : wanted) {
    if (std::size_t kept = placed.Get(pattern)) {
      if (!isFinal[kept]) final[kept] = pattern, isFinal[kept] = 1;
      continue;
    }
    while (used[slots[slot]]) ++slot;
    used[slots[slot]] = 1;
    final[slots[slot]] = pattern;
    isFinal[slots[slot]] = 1;
  }
  auto inFinal = [&](std::string_view name) {
    std::size_t number = ListValues::NumberOf(name);
    return number && number <= top && isFinal[number];
  };

  KeyWriter list(store, listKey, error);
  KeyWriter mirror(store, recordKey, error);
  std::vector<std::string> names;
  for (const Value* entry : ours)
    if (!inFinal(entry->name)) names.emplace_back(entry->name);
  SortNames(names);
  for (const std::string& name : names) list.Delete(name);
  names.clear();
  for (std::size_t number = 1; number <= top; ++number) {
    if (!isFinal[number]) continue;
    const Value* have = ourAt(number);
    if (!have || have->Sz() != final[number]) names.push_back(std::to_string(number));
  }
  SortNames(names);
  for (const std::string& name : names) list.Set(name, REG_SZ, SzData(std::string(final[ListValues::NumberOf(name)])));
  names.clear();
  for (const Value& written : record.All())
    if (!inFinal(written.name)) names.emplace_back(written.name);
  SortNames(names);
  for (const std::string& name : names) mirror.Delete(name);
  names.clear();
  for (std::size_t number = 1; number <= top; ++number) {
    if (!isFinal[number]) continue;
    const Value* have = record.At(number);
    if (!have || have->type != REG_SZ || have->Sz() != final[number]) names.push_back(std::to_string(number));
  }
  SortNames(names);
  for (const std::string& name : names)
    mirror.Set(name, REG_SZ, SzData(std::string(final[ListValues::NumberOf(name)])));
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
