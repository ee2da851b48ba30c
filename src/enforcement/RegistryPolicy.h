// The script policy as the browsers read it from the registry on Windows, under
// a vendor's policy key of HKEY_LOCAL_MACHINE ("Software\\Policies\\Google\\Chrome"):
// a list is a subkey holding the values "1", "2", ... (REG_SZ), the default a
// REG_DWORD, and the recommended default the same in the subkey "Recommended".
//
// An administrator may have entries there too. What we wrote is recorded under
// a key of our own that mirrors our values; an entry not recorded, or changed
// since, is the administrator's and is never changed or removed. List entries
// are numbered without gaps from 1, since the browsers stop reading a list at
// the first missing number.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "registry/Result.h"
#include "scriptpolicy/ScriptPolicy.h"

namespace pw {

// What one apply leaves for the next through the same store object, per list
// key: the patterns it numbered, in the order wanted, with their numbers; the
// numbers an administrator's entries hold; and the list's and the record's
// write times after it. A list neither of whose keys was written since is not
// read again.
struct RegistryListMemory {
  std::string recordKey;
  std::uint64_t listTime = 0;
  std::uint64_t recordTime = 0;
  std::vector<std::string> patterns;
  std::vector<std::size_t> numbers;
  std::vector<std::size_t> others;  // ascending
};
using RegistrySyncMemory = std::map<std::string, RegistryListMemory>;

struct RegistryPolicyResult {
  Result written;            // done when every write landed
  bool keptDefault = false;  // an administrator's default was left in place of ours
};

// Brings our entries under `policyKey` in step with `policy`, or removes them
// all when `policy` is null; `recordKey` (HKEY_LOCAL_MACHINE) keeps what we
// wrote. Writes nothing that is already so. One store transaction. Without
// `lists`, only the defaults are brought in step (the zone state changed, the
// zone map did not). With `memory`, on a store with transactions, lists
// unwritten since the last apply through it are brought in step from it.
RegistryPolicyResult ApplyRegistryPolicy(RegistryStore& store, const std::string& policyKey,
                                         const std::string& recordKey, const ScriptPolicy* policy, bool lists = true,
                                         RegistrySyncMemory* memory = nullptr);

// What our entries under `policyKey` say now (lists in number order).
ScriptPolicy RegistryPolicyHeld(RegistryStore& store, const std::string& policyKey, const std::string& recordKey);

}  // namespace pw
