#include "regfile/RegFileImport.h"

#include <set>

#include "regfile/RegFileWriter.h"
#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/StoreTransaction.h"
#include "registry/KeyTree.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/Result.h"

namespace pw {
bool IsManagedKey(HKEY hive, std::string_view path) {
  if (IsSameOrBelow(path, kInternetSettingsPath)) return true;
  return hive == HKEY_LOCAL_MACHINE && IsSameOrBelow(path, kExtensionsPath);
}

ImportPlan PlanImport(const RegFile& file, bool all) {
  ImportPlan plan;
  std::set<std::string> named;
  for (std::size_t i = 0; i < file.keys.size(); ++i) {
    const RegFileKey& key = file.keys[i];
    if (all || IsManagedKey(key.hive, key.path)) {
      plan.keys.push_back(i);
      continue;
    }
    std::string name = FullKeyName(key.hive, key.path);
    if (named.insert((key.remove ? "-" : "+") + FoldName(name)).second)
      plan.skipped.push_back({name, key.remove, key.line});
  }
  // A deletion that takes the Internet zone key with it, unless a later key of
  // the import makes it again: the profiles would then be written nowhere.
  const RegFileKey* zoneDeletedBy = nullptr;
  for (std::size_t index : plan.keys) {
    const RegFileKey& key = file.keys[index];
    if (key.hive != HKEY_CURRENT_USER) continue;
    if (key.remove && IsSameOrBelow(kZonePath, key.path)) zoneDeletedBy = &key;
    else if (!key.remove && IsSameOrBelow(key.path, kZonePath)) zoneDeletedBy = nullptr;
  }
  if (zoneDeletedBy) {
    std::string deleted = FullKeyName(HKEY_CURRENT_USER, zoneDeletedBy->path);
    std::string zone = FullKeyName(HKEY_CURRENT_USER, kZonePath);
    plan.warnings.push_back(
        "line " + std::to_string(zoneDeletedBy->line) + " deletes " +
        (SameName(zoneDeletedBy->path, kZonePath) ? "the Internet zone key " + deleted
                                                  : deleted + ", and with it the Internet zone key " + zone) +
        ": the zone's security profiles are then written nowhere until that key exists again");
  }
  return plan;
}

std::string SkipMessage(const SkippedKey& skipped) {
  return (skipped.remove ? "the deletion of " : "") + skipped.name + " (line " + std::to_string(skipped.line) +
         "): not a key this program manages";
}

Result DescribePlan(const RegFile& file, const ImportPlan& plan, std::vector<std::string>& lines) {
  for (std::size_t index : plan.keys) {
    const RegFileKey& key = file.keys[index];
    std::string name = FullKeyName(key.hive, key.path);
    if (key.remove) {
      lines.push_back("delete " + name + " and everything below it");
      continue;
    }
    lines.push_back("write " + name);
    for (const RegFileValue& value : key.values) {
      std::string line;
      if (Result formatted = FormatValueLine(value, file.format, line); !formatted.Ok()) return formatted;
      lines.push_back("  " + line);
    }
  }
  return {};
}

ImportResult ApplyImport(RegistryStore& store, const RegFile& file, const ImportPlan& plan) {
  ImportResult result;
  const RegFileKey* failedKey = nullptr;
  auto fail = [&](const RegFileKey& key, LONG status, std::string what) {
    failedKey = &key;
    return Result::Failure(std::move(what) + ": " + StatusText(status), status);
  };
  Result done = RunInTransaction(store, "import", [&]() -> Result {
    for (std::size_t index : plan.keys) {
      const RegFileKey& key = file.keys[index];
      std::string name = FullKeyName(key.hive, key.path);
      if (key.remove) {
        bool existed = static_cast<bool>(OpenedKey(store, key.hive, key.path, KEY_READ));
        LONG status = DeleteKeyTree(store, key.hive, key.path);
        if (status != ERROR_SUCCESS) return fail(key, status, "cannot delete " + name);
        if (existed) ++result.keysDeleted;
        continue;
      }
      KeyHandle handle;
      LONG status = handle.Create(store, key.hive, key.path, kAccess3F);
      if (status != ERROR_SUCCESS) return fail(key, status, "cannot create " + name);
      ++result.keysWritten;
      for (const RegFileValue& value : key.values) {
        if (value.remove) {
          status = store.RegDeleteValueA(handle.get(), value.name);
          if (status == ERROR_SUCCESS) ++result.valuesDeleted;
          if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        } else {
          status = store.RegSetValueExA(handle.get(), value.name, 0, value.type,
                                        reinterpret_cast<const BYTE*>(value.data.data()),
                                        static_cast<DWORD>(value.data.size()));
          if (status == ERROR_SUCCESS) ++result.valuesSet;
        }
        if (status != ERROR_SUCCESS)
          return fail(key, status,
                      "cannot " + std::string(value.remove ? "delete" : "set") + " the value \"" + value.name +
                          "\" of " + name + " (line " + std::to_string(value.line) + ")");
      }
    }
    return {};
  });
  if (done.Ok()) return result;
  result.status = done.Status();
  // Not begun, or not committed: nothing landed.
  if (!failedKey) {
    result.error = done.Message() + "; nothing was imported";
    return result;
  }
  bool undone = store.SupportsRollback();
  result.error = done.Message() + (undone ? "; nothing was imported"
                                          : "; the keys before line " + std::to_string(failedKey->line) +
                                                " were written, since this store cannot undo them");
  if (undone) result.keysWritten = result.valuesSet = result.keysDeleted = result.valuesDeleted = 0;
  return result;
}

}  // namespace pw
