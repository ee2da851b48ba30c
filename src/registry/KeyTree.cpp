#include "registry/KeyTree.h"

#include <vector>

#include "registry/Enumeration.h"

namespace pw {

LONG DeleteKeyTree(RegistryStore& store, HKEY parent, const std::string& path) {
  HKEY key = 0;
  LONG status = store.RegOpenKeyExA(parent, path, 0, KEY_READ, &key);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> children;
  status = ForEachSubkey(store, key, [&](const std::string& name) {
    children.push_back(name);
    return true;
  });
  if (status == ERROR_NO_MORE_ITEMS) status = ERROR_SUCCESS;
  // Children are reached through the open key, never by a full path: a path
  // from the hive can outgrow what the platform accepts long before any name.
  for (std::size_t i = 0; status == ERROR_SUCCESS && i < children.size(); ++i)
    status = DeleteKeyTree(store, key, children[i]);
  store.RegCloseKey(key);
  if (status != ERROR_SUCCESS) return status;
  status = store.RegDeleteKeyA(parent, path);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace pw
