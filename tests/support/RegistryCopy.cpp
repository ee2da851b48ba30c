#include "RegistryCopy.h"

namespace pw::test {
namespace {

std::vector<std::string> SubkeyNames(RegistryStore& store, HKEY key) {
  std::vector<std::string> names;
  ForEachSubkey(store, key, [&](const std::string& name) {
    names.push_back(name);
    return true;
  });
  return names;
}

}  // namespace

KeyCopy CopyKey(RegistryStore& store, HKEY hive, const std::string& path) {
  KeyCopy copy;
  HKEY key = 0;
  if (store.RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return copy;
  copy.exists = true;
  ForEachValue(store, key, [&](const EnumeratedValue& value) {
    copy.values.push_back(value);
    return true;
  });
  std::vector<std::string> names = SubkeyNames(store, key);
  store.RegCloseKey(key);
  for (const std::string& name : names)
    copy.subkeys.emplace_back(name, CopyKey(store, hive, path + "\\" + name));
  return copy;
}

bool RestoreKey(RegistryStore& store, HKEY hive, const std::string& path, const KeyCopy& copy) {
  if (DeleteKeyTree(store, hive, path) != ERROR_SUCCESS) return false;
  if (!copy.exists) return true;
  HKEY key = 0;
  if (store.RegCreateKeyExA(hive, path, 0, nullptr, 0, kAccess3F, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool restored = true;
  for (const EnumeratedValue& value : copy.values)
    restored &= store.RegSetValueExA(key, value.name, 0, value.type,
                                     reinterpret_cast<const BYTE*>(value.data.data()),
                                     static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
  store.RegCloseKey(key);
  for (const auto& [name, subkey] : copy.subkeys)
    restored &= RestoreKey(store, hive, path + "\\" + name, subkey);
  return restored;
}

}  // namespace pw::test
