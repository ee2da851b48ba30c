// Copies of registry keys taken through a store and written back: a test that
// runs on a registry it shares (the platform's) sets keys aside and puts them
// back as they were.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "registry/Enumeration.h"
#include "registry/KeyTree.h"
#include "registry/RegistryStore.h"

namespace pw::test {

// A key with its values and subkeys, or the fact that it did not exist.
struct KeyCopy {
  bool exists = false;
  std::vector<EnumeratedValue> values;
  std::vector<std::pair<std::string, KeyCopy>> subkeys;
};

KeyCopy CopyKey(RegistryStore& store, HKEY hive, const std::string& path);

// Makes hive\path hold exactly what the copy holds (nothing when it did not
// exist); true on success.
bool RestoreKey(RegistryStore& store, HKEY hive, const std::string& path, const KeyCopy& copy);

}  // namespace pw::test
