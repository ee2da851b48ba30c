#include "enforcement/RegistryPolicy.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/NameFold.h"
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
  KeyWriter(RegistryStore& store, std::string path, Result& written)
      : store_(store), path_(std::move(path)), written_(written) {}
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
    if (!written_.Ok()) return false;
    return Check(key_.Create(store_, HKEY_LOCAL_MACHINE, path_, kAccess3F));
  }
  bool Check(LONG status) {
    if (status != ERROR_SUCCESS && written_.Ok())
      written_ = Result::Failure("HKEY_LOCAL_MACHINE\\" + path_ + " cannot be written (" + StatusName(status) + ")");
    return status == ERROR_SUCCESS;
  }

  RegistryStore& store_;
  std::string path_;
  Result& written_;  // the first failure of the apply, shared by its keys
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
  // Past the highest number a value is named by.
  std::size_t NumberEnd() const { return byNumber_.size(); }
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

// The key's write time, read through its parent's list of subkeys; 0 when it
// is missing or the store keeps none.
std::uint64_t WriteTimeOf(RegistryStore& store, const std::string& path) {
  std::size_t cut = path.rfind('\\');
  KeyHandle parent;
  if (cut == std::string::npos || parent.Open(store, HKEY_LOCAL_MACHINE, path.substr(0, cut), KEY_READ) != ERROR_SUCCESS)
    return 0;
  std::string fold = FoldName(std::string_view(path).substr(cut + 1));
  for (DWORD index = 0;; ++index) {
    char name[kEnumBufferSize + 1];
    DWORD length = sizeof name;
    FILETIME written{};
    LONG status = store.RegEnumKeyExA(parent.get(), index, name, &length, nullptr, nullptr, nullptr, &written);
    if (status == ERROR_MORE_DATA) continue;  // longer than any name of ours
    if (status != ERROR_SUCCESS) return 0;
    if (FoldName(std::string_view(name, length)) == fold)
      return (std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  }
}

constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
// More patterns changed than this, or moved about, and the whole sync is cheaper.
constexpr std::size_t kMostChangedFromMemory = 16;

// The sync when neither key was written since the one that left `memory`: the
// keys hold what it says, so only the stretch of patterns that changed is
// looked at, with the same outcome and writes as reading both keys would give.
// False, having written nothing, where that is not simple: many changed, or a
// pattern repeats.
bool SyncFromMemory(RegistryStore& store, const std::string& listKey, const std::string& recordKey,
                    const std::vector<std::string>& wanted, Result& done, RegistryListMemory& memory) {
  const std::vector<std::string>& was = memory.patterns;
  std::size_t before = was.size(), count = wanted.size();
  std::size_t same = 0;  // at the start
  while (same < before && same < count && was[same] == wanted[same]) ++same;
  std::size_t sameEnd = 0;
  while (sameEnd < before - same && sameEnd < count - same && was[before - 1 - sameEnd] == wanted[count - 1 - sameEnd])
    ++sameEnd;
  std::size_t gone = before - same - sameEnd, come = count - same - sameEnd;
  if (gone + come > kMostChangedFromMemory) return false;
  // Where each pattern of the changed stretch was, if anywhere.
  std::vector<std::size_t> from(come, kNowhere);
  std::vector<char> stays(gone, 0);
  for (std::size_t k = 0; k < come; ++k) {
    const std::string& pattern = wanted[same + k];
    for (std::size_t earlier = 0; earlier < k; ++earlier)
      if (wanted[same + earlier] == pattern) return false;
    for (std::size_t i = 0; i < before; ++i) {
      if (was[i] != pattern) continue;
      if (i < same || i >= same + gone) return false;  // it is wanted twice
      from[k] = i;
      stays[i - same] = 1;
      break;
    }
  }
  // The numbers the entries take: the lowest an administrator's entry does not hold.
  auto topFor = [&](std::size_t entries) {
    std::size_t top = entries;
    for (std::size_t other : memory.others) {
      if (other > top) break;
      ++top;
    }
    return top;
  };
  std::size_t oldTop = topFor(before), top = topFor(count);
  std::vector<std::size_t> numbers(count);
  std::copy(memory.numbers.begin(), memory.numbers.begin() + same, numbers.begin());
  std::copy(memory.numbers.end() - sameEnd, memory.numbers.end(), numbers.end() - sameEnd);
  for (std::size_t k = 0; k < come; ++k) numbers[same + k] = from[k] == kNowhere ? 0 : memory.numbers[from[k]];
  // Free: the numbers of the patterns no longer wanted, and those past the old top.
  std::vector<std::size_t> free;
  for (std::size_t i = 0; i < gone; ++i)
    if (!stays[i] && memory.numbers[same + i] <= top) free.push_back(memory.numbers[same + i]);
  for (std::size_t number = oldTop + 1; number <= top; ++number)
    if (!std::binary_search(memory.others.begin(), memory.others.end(), number)) free.push_back(number);
  std::sort(free.begin(), free.end());
  // Entries past the new top go; their patterns and the new ones take the
  // free numbers in the order wanted.
  std::vector<std::size_t> dropped;
  for (std::size_t number : memory.numbers)
    if (number > top) dropped.push_back(number);
  std::vector<std::pair<std::string, const std::string*>> placed;  // name, pattern
  std::size_t next = 0;
  for (std::size_t j = 0; j < count; ++j) {
    if (numbers[j] && numbers[j] <= top) continue;
    if (next == free.size()) return false;
    numbers[j] = free[next++];
    placed.emplace_back(std::to_string(numbers[j]), &wanted[j]);
  }
  if (next != free.size()) return false;

  std::vector<std::string> names;
  for (std::size_t number : dropped) names.push_back(std::to_string(number));
  SortNames(names);
  std::sort(placed.begin(), placed.end());
  KeyWriter list(store, listKey, done);
  KeyWriter mirror(store, recordKey, done);
  for (KeyWriter* key : {&list, &mirror}) {
    for (const std::string& name : names) key->Delete(name);
    for (const auto& [name, pattern] : placed) key->Set(name, REG_SZ, SzData(*pattern));
  }
  memory.patterns.erase(memory.patterns.begin() + same, memory.patterns.begin() + same + gone);
  memory.patterns.insert(memory.patterns.begin() + same, wanted.begin() + same, wanted.begin() + same + come);
  memory.numbers = std::move(numbers);
  return true;
}

// Brings a list and its record in step with `wanted`. With `remember`,
// returns what the keys hold after it, for the next sync, when that is known
// exactly. `last`, the memory of the sync before, serves instead of reading
// the keys when `unwritten` (neither key was written since).
std::optional<RegistryListMemory> SyncList(RegistryStore& store, const std::string& listKey,
                                           const std::string& recordKey, const std::vector<std::string>& wanted,
                                           Result& done, std::optional<RegistryListMemory> last, bool unwritten,
                                           bool remember) {
  if (last && unwritten && SyncFromMemory(store, listKey, recordKey, wanted, done, *last)) return last;
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
  if (wanted.empty() && ours.empty() && record.Empty()) return std::nullopt;
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
  bool repeats = false;
  for (std::size_t i = 0; i < wanted.size(); ++i) repeats = wantedSet.Put(wanted[i], i + 1) != i + 1 || repeats;
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
  std::vector<std::size_t> numbers;  // of each wanted pattern
  numbers.reserve(wanted.size());
  for (const std::string& pattern : wanted) {
    if (std::size_t kept = placed.Get(pattern)) {
      if (!isFinal[kept]) final[kept] = pattern, isFinal[kept] = 1;
      numbers.push_back(kept);
      continue;
    }
    while (used[slots[slot]]) ++slot;
    used[slots[slot]] = 1;
    final[slots[slot]] = pattern;
    isFinal[slots[slot]] = 1;
    numbers.push_back(slots[slot]);
  }
  auto inFinal = [&](std::string_view name) {
    std::size_t number = ListValues::NumberOf(name);
    return number && number <= top && isFinal[number];
  };

  KeyWriter list(store, listKey, done);
  KeyWriter mirror(store, recordKey, done);
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
  if (!remember || repeats) return std::nullopt;
  std::optional<RegistryListMemory> left(std::in_place);
  left->numbers = std::move(numbers);
  left->recordKey = recordKey;
  left->patterns = wanted;
  for (std::size_t number = 1; number < current.NumberEnd(); ++number)
    if (current.At(number) && !ourAt(number)) left->others.push_back(number);
  return left;
}

// Returns false when an administrator's value was kept instead of ours.
bool SyncDefault(RegistryStore& store, const std::string& key, const std::string& recordKey,
                 std::optional<int> wanted, Result& done) {
  std::map<std::string, EnumeratedValue> current = ValuesOf(store, key);
  std::map<std::string, EnumeratedValue> record = ValuesOf(store, recordKey);
  auto have = current.find(kDefaultScriptPolicy);
  auto written = record.find(kDefaultScriptPolicy);
  bool ours = have != current.end() && written != record.end() && have->second.type == written->second.type &&
              have->second.data == written->second.data;
  KeyWriter target(store, key, done);
  KeyWriter mirror(store, recordKey, done);
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
                                         const std::string& recordKey, const ScriptPolicy* policy, bool lists,
                                         RegistrySyncMemory* memory) {
  RegistryPolicyResult result;
  ScriptPolicy none;
  const ScriptPolicy& wanted = policy ? *policy : none;
  // The keys' times show that nobody else wrote only where our writes and the
  // reading of the times are one transaction: not on the platform's registry,
  // whose clock also ticks coarser than its writes.
  if (!store.SupportsRollback()) memory = nullptr;
  struct Synced {
    std::string listKey, recordKey;
    const std::vector<std::string>* wanted;
    std::optional<RegistryListMemory> left;
  };
  std::vector<Synced> synced;
  if (lists || !policy)
    for (auto [name, patterns] : {std::pair{kBlockedScriptsPolicy, &wanted.blocked}, {kAllowedScriptsPolicy, &wanted.allowed}})
      synced.push_back({Join(policyKey, name), Join(recordKey, name), patterns, std::nullopt});
  LONG status = RunInTransaction(store, [&] {
    for (Synced& list : synced) {
      std::optional<RegistryListMemory> last;
      if (memory) {
        if (auto found = memory->find(list.listKey); found != memory->end()) {
          if (found->second.recordKey == list.recordKey) last = std::move(found->second);
          memory->erase(found);
        }
      }
      // Times read inside the transaction: no other connection writes meanwhile.
      bool unwritten = last && last->listTime && last->listTime == WriteTimeOf(store, list.listKey) &&
                       last->recordTime && last->recordTime == WriteTimeOf(store, list.recordKey);
      list.left = SyncList(store, list.listKey, list.recordKey, *list.wanted, result.written, std::move(last),
                           unwritten, memory != nullptr);
    }
    bool managed = SyncDefault(store, policyKey, recordKey, wanted.managedDefault, result.written);
    bool recommended = SyncDefault(store, Join(policyKey, kRecommended), Join(recordKey, kRecommended),
                                   wanted.recommendedDefault, result.written);
    result.keptDefault = !managed || !recommended;
    for (const char* list : {kBlockedScriptsPolicy, kAllowedScriptsPolicy, kRecommended}) {
      RemoveEmptyKeys(store, Join(policyKey, list), policyKey);
      RemoveEmptyKeys(store, Join(recordKey, list), recordKey);
    }
    // The policy key itself, and the vendor's key above it, when nothing is left.
    if (!policy) RemoveEmptyKeys(store, policyKey, ParentOf(ParentOf(policyKey)));
    for (Synced& list : synced)
      if (memory && list.left) {
        list.left->listTime = WriteTimeOf(store, list.listKey);
        list.left->recordTime = WriteTimeOf(store, list.recordKey);
      }
  });
  if (memory && status == ERROR_SUCCESS && result.written.Ok())
    for (Synced& list : synced)
      if (list.left) memory->insert_or_assign(list.listKey, std::move(*list.left));
  if (status != ERROR_SUCCESS && result.written.Ok())
    result.written =
        Result::Failure("the store could not keep the policy (" + std::string(StatusName(status)) + ")");
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
