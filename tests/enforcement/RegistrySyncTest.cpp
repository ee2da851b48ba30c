// The registry form's sync from what its last apply remembered must leave the
// keys exactly as a sync that reads them whole: same values, same order, same
// outcome, whatever the lists and an administrator did in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "RegFileTestUtil.h"
#include "enforcement/RegistryPolicy.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

const std::string kPolicyKey = "Software\\Policies\\Chromium";
const std::string kRecordKey = "Software\\Portwarden\\Enforcement\\Written\\chromium";
const char* const kListKeys[] = {"JavaScriptBlockedForUrls", "JavaScriptAllowedForUrls"};

// The translation states each pattern once a list.
void Edit(std::vector<std::string>& list, std::mt19937& random) {
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  auto pattern = [&] {
    std::string made;
    do made = "[*.]site" + std::to_string(pick(1000)) + ".test";
    while (std::find(list.begin(), list.end(), made) != list.end());
    return made;
  };
  switch (pick(10)) {
    case 0:
    case 1:
    case 2:
    case 3: list.insert(list.begin() + static_cast<std::ptrdiff_t>(pick(list.size() + 1)), pattern()); break;
    case 4:
      if (!list.empty()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(pick(list.size())));
      break;
    case 5:
      if (list.size() > 1) std::swap(list[pick(list.size())], list[pick(list.size())]);
      break;
    case 6:
      if (!list.empty()) std::rotate(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(pick(list.size())), list.end());
      break;
    case 7: std::shuffle(list.begin(), list.end(), random); break;
    default:
      if (pick(4) == 0)
        for (int i = 0; i < 20; ++i) list.push_back(pattern());  // a change too long to follow
  }
}

// An administrator's write, made the same way in both stores.
void Administer(RegistryStore& store, std::mt19937& random, int step) {
  Registry registry(store);
  const std::string list = kPolicyKey + "\\" + kListKeys[random() % 2];
  const std::string name = std::to_string(1 + random() % 12);
  switch (random() % 4) {
    case 0: registry.SetRegValue(HKEY_LOCAL_MACHINE, list, name, "admin" + std::to_string(step) + ".example", REG_SZ); break;
    case 1: registry.SetRegValue(HKEY_LOCAL_MACHINE, list, name, "7", REG_DWORD); break;
    case 2: {
      HKEY key = registry.CreateRegKey(HKEY_LOCAL_MACHINE, list);
      store.RegDeleteValueA(key, name.c_str());
      store.RegCloseKey(key);
      break;
    }
    default: registry.SetRegValue(HKEY_LOCAL_MACHINE, kRecordKey + "\\" + kListKeys[0], name, "gone.test", REG_SZ);
  }
}

TEST(RegistrySync, FromMemoryLeavesWhatAWholeReadLeaves) {
  MemoryStore remembering;
  MemoryStore reading;
  RegistrySyncMemory memory;
  std::mt19937 random(20261209);
  ScriptPolicy policy;
  policy.managedDefault = 2;
  for (int step = 0; step < 1500; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    if (random() % 4 == 0) {
      std::mt19937 same = random;  // both stores get the same write
      Administer(remembering, random, step);
      Administer(reading, same, step);
    }
    Edit(random() % 2 ? policy.blocked : policy.allowed, random);
    for (auto* list : {&policy.blocked, &policy.allowed})
      if (list->size() > 150) list->clear();
    const std::uint32_t kind = random() % 20;
    const ScriptPolicy* applied = kind == 0 ? nullptr : &policy;
    const bool lists = kind != 1;
    RegistryPolicyResult fromMemory =
        ApplyRegistryPolicy(remembering, kPolicyKey, kRecordKey, applied, lists, &memory);
    RegistryPolicyResult whole = ApplyRegistryPolicy(reading, kPolicyKey, kRecordKey, applied, lists);
    ASSERT_EQ(fromMemory.written.Ok(), whole.written.Ok());
    ASSERT_EQ(fromMemory.keptDefault, whole.keptDefault);
    ASSERT_EQ(DumpStore(remembering), DumpStore(reading));
  }
}

}  // namespace
}  // namespace pw::test
