#include "registry/KeyTree.h"

#include <vector>

#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"

namespace pw {
namespace {

// One key on the way down: open, with the subkeys it had when it was opened.
struct Level {
  HKEY parent;
  std::string name;
  KeyHandle key;
  std::vector<std::string> children;
  std::size_t next = 0;
};

LONG OpenLevel(RegistryStore& store, HKEY parent, const std::string& name, Level& level) {
  level.parent = parent;
  level.name = name;
  LONG status = level.key.Open(store, parent, name, KEY_READ);
  if (status != ERROR_SUCCESS) return status;
  status = ForEachSubkey(store, level.key.get(), [&](const std::string& child) {
    level.children.push_back(child);
    return true;
  });
  if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
  level.key.Close();
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
      HKEY key = top.key.get();
      std::string child = top.children[top.next++];
      Level below;
      status = OpenLevel(store, key, child, below);
      if (status == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
      if (status != ERROR_SUCCESS) break;
      stack.push_back(std::move(below));
      continue;
    }
    top.key.Close();
    HKEY from = top.parent;
    std::string name = std::move(top.name);
    stack.pop_back();
    status = store.RegDeleteKeyA(from, name);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) break;
  }
  return status;
}

}  // namespace pw
