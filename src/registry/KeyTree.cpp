#include "registry/KeyTree.h"

#include <vector>

#include "registry/Enumeration.h"

namespace pw {
namespace {

// One key on the way down: open, with the subkeys it had when it was opened.
struct Level {
  HKEY parent;
  std::string name;
  HKEY key = 0;
  std::vector<std::string> children;
  std::size_t next = 0;
};

LONG OpenLevel(RegistryStore& store, HKEY parent, const std::string& name, Level& level) {
  level.parent = parent;
  level.name = name;
  LONG status = store.RegOpenKeyExA(parent, name, 0, KEY_READ, &level.key);
  if (status != ERROR_SUCCESS) return status;
  status = ForEachSubkey(store, level.key, [&](const std::string& child) {
    level.children.push_back(child);
    return true;
  });
  if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
  store.RegCloseKey(level.key);
  return status;
}

}  // namespace

LONG DeleteKeyTree(RegistryStore& store, HKEY parent, const std::string& path) {
  // Down and up with a stack of open keys rather than by recursion, so that no
  // depth of keys can overflow the stack. Children are reached through the
  // open key, never by a full path: a path from the hive can outgrow what the
  // platform accepts long before any name does.
  std::vector<Level> stack(1);
  LONG status = OpenLevel(store, parent, path, stack.back());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next < top.children.size()) {
      HKEY key = top.key;
      std::string child = top.children[top.next++];
      Level below;
      status = OpenLevel(store, key, child, below);
      if (status == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
      if (status != ERROR_SUCCESS) break;
      stack.push_back(std::move(below));
      continue;
    }
    store.RegCloseKey(top.key);
    HKEY from = top.parent;
    std::string name = std::move(top.name);
    stack.pop_back();
    status = store.RegDeleteKeyA(from, name);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) break;
  }
  for (Level& level : stack) store.RegCloseKey(level.key);
  return status;
}

}  // namespace pw
