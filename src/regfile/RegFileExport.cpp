#include "regfile/RegFileExport.h"

#include "regfile/RegFileWriter.h"
#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"

namespace pw {
namespace {

std::string StatusText(LONG status) { return std::to_string(status) + " (" + StatusName(status) + ")"; }

LONG Failed(LONG status, std::string& error, const std::string& what) {
  error = what + ": " + StatusText(status);
  return status;
}

DWORD DepthOf(const std::string& path) {
  if (path.empty()) return 0;
  DWORD depth = 1;
  for (char c : path) depth += c == '\\';
  return depth;
}

// Collects the key open as `handle` (named hive\path, `depth` levels below the
// hive) and everything below it. The recursion is bounded: a key deeper than
// the platform's registry holds is not written.
LONG CollectTree(RegistryStore& store, HKEY handle, HKEY hive, const std::string& path, DWORD depth,
                 RegFile& file, std::string& error, std::vector<std::string>* tooDeep) {
  RegFileKey key;
  key.hive = hive;
  key.path = path;
  LONG status = ForEachValue(store, handle, [&](const EnumeratedValue& value) {
    RegFileValue copy;
    copy.name = value.name;
    copy.type = value.type;
    copy.data = value.data;
    key.values.push_back(std::move(copy));
    return true;
  });
  if (status != ERROR_NO_MORE_ITEMS) return Failed(status, error, "cannot read the values of " + FullKeyName(hive, path));
  file.keys.push_back(std::move(key));
  std::vector<std::string> children;
  status = ForEachSubkey(store, handle, [&](const std::string& name) {
    children.push_back(name);
    return true;
  });
  if (status != ERROR_NO_MORE_ITEMS) return Failed(status, error, "cannot read the subkeys of " + FullKeyName(hive, path));
  for (const std::string& name : children) {
    std::string childPath = path.empty() ? name : path + "\\" + name;
    if (depth + 1 > kMaxKeyDepth) {
      std::string why = "the key " + FullKeyName(hive, childPath) + " lies more than " +
                        std::to_string(kMaxKeyDepth) + " levels deep, deeper than the platform's registry holds";
      if (!tooDeep) {
        error = "cannot write " + why;
        return ERROR_INVALID_PARAMETER;
      }
      tooDeep->push_back(why + " (the key is left out with everything below it)");
      continue;
    }
    KeyHandle child;
    status = child.Open(store, handle, name, KEY_READ);
    if (status == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile by another program
    if (status != ERROR_SUCCESS) return Failed(status, error, "cannot open " + FullKeyName(hive, childPath));
    status = CollectTree(store, child.get(), hive, childPath, depth + 1, file, error, tooDeep);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// The path as the store spells it, found by enumerating each parent; the
// spelling given when a component cannot be enumerated.
std::string StoreSpelling(RegistryStore& store, HKEY hive, const std::string& path) {
  std::string spelled;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(start, end - start);
    if (KeyHandle parent; parent.Open(store, hive, spelled, KEY_READ) == ERROR_SUCCESS) {
      ForEachSubkey(store, parent.get(), [&](const std::string& name) {
        if (!SameName(name, component)) return true;
        component = name;
        return false;
      });
    }
    spelled += (spelled.empty() ? "" : "\\") + component;
    start = end + 1;
  }
  return spelled;
}

}  // namespace

std::vector<KeyName> DefaultExportKeys() {
  return {{HKEY_CURRENT_USER, kInternetSettingsPath},
          {HKEY_LOCAL_MACHINE, kInternetSettingsPath},
          {HKEY_LOCAL_MACHINE, kExtensionsPath}};
}

LONG CollectKeys(RegistryStore& store, const KeyName& root, RegFile& file, std::string& error,
                 std::vector<std::string>* tooDeep) {
  KeyHandle handle;
  LONG status = handle.Open(store, root.hive, root.path, KEY_READ);
  if (status == ERROR_FILE_NOT_FOUND) return status;
  if (status != ERROR_SUCCESS) return Failed(status, error, "cannot open " + FullKeyName(root.hive, root.path));
  std::string path = StoreSpelling(store, root.hive, root.path);
  return CollectTree(store, handle.get(), root.hive, path, DepthOf(path), file, error, tooDeep);
}

ExportResult ExportRegFile(RegistryStore& store, const std::vector<KeyName>& roots, RegFileFormat format,
                           bool skipUnwritable) {
  ExportResult result;
  RegFile file;
  file.format = format;
  // One state of the store for the whole file, even while another process writes.
  ReadSnapshot snapshot(store);
  for (const KeyName& root : roots) {
    LONG status = CollectKeys(store, root, file, result.error, skipUnwritable ? &result.skipped : nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
      result.missing.push_back(FullKeyName(root.hive, root.path));
      continue;
    }
    if (status != ERROR_SUCCESS) return result;
  }
  if (!WriteRegFile(file, result.bytes, result.error, skipUnwritable ? &result.skipped : nullptr)) {
    result.bytes.clear();
    return result;
  }
  result.keys = file.keys.size();
  for (const RegFileKey& key : file.keys) result.values += key.values.size();
  result.ok = true;
  return result;
}

}  // namespace pw
