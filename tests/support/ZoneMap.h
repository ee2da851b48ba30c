// Builds and inspects the zone map under HKEY_CURRENT_USER (or another hive) for
// tests. Paths are relative to the Domains key: "example.com", "example.com\\mail".
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/KnownKeys.h"
#include "registry/RegData.h"
#include "registry/RegistryStore.h"

namespace pw::test {

class ZoneMap {
 public:
  explicit ZoneMap(RegistryStore& store, HKEY hive = HKEY_CURRENT_USER) : store_(store), hive_(hive) {}

  static std::string Path(const std::string& relative) {
    return relative.empty() ? std::string(kDomainsPath) : std::string(kDomainsPath) + "\\" + relative;
  }

  // Creates the base key (a fresh profile has it).
  void AddBase() { AddKey(""); }

  void AddKey(const std::string& relative) {
    HKEY key = 0;
    ASSERT_EQ(store_.RegCreateKeyExA(hive_, Path(relative), 0, nullptr, 0, kAccess3F, nullptr, &key,
                                     nullptr),
              ERROR_SUCCESS)
        << relative;
    store_.RegCloseKey(key);
  }

  // Creates the key when missing and sets a REG_DWORD value.
  void SetZone(const std::string& relative, const std::string& name, std::uint32_t zone) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(zone >> (8 * i));
    SetBytes(relative, name, REG_DWORD, bytes);
  }

  void SetBytes(const std::string& relative, const std::string& name, DWORD type, const std::string& bytes) {
    AddKey(relative);
    HKEY key = 0;
    ASSERT_EQ(store_.RegOpenKeyA(hive_, Path(relative), &key), ERROR_SUCCESS);
    EXPECT_EQ(store_.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    store_.RegCloseKey(key);
  }

  bool KeyExists(const std::string& relative) {
    HKEY key = 0;
    if (store_.RegOpenKeyA(hive_, Path(relative), &key) != ERROR_SUCCESS) return false;
    store_.RegCloseKey(key);
    return true;
  }

  // The value's bytes, or nothing when the key or value is missing.
  std::optional<std::string> Bytes(const std::string& relative, const std::string& name) {
    HKEY key = 0;
    if (store_.RegOpenKeyA(hive_, Path(relative), &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD size = 0;
    std::optional<std::string> result;
    if (store_.RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (store_.RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
          ERROR_SUCCESS)
        result = data.substr(0, size);
    }
    store_.RegCloseKey(key);
    return result;
  }

  // A REG_DWORD value's number, or nothing.
  std::optional<std::uint32_t> Zone(const std::string& relative, const std::string& name) {
    HKEY key = 0;
    if (store_.RegOpenKeyA(hive_, Path(relative), &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    LONG status = store_.RegQueryValueExA(key, name, nullptr, &type, data, &size);
    store_.RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return DwordValue(type, std::string_view(reinterpret_cast<const char*>(data), size));
  }

  // Value names in enumeration (creation) order.
  std::vector<std::string> ValueNames(const std::string& relative) {
    std::vector<std::string> names;
    HKEY key = 0;
    if (store_.RegOpenKeyA(hive_, Path(relative), &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      char name[1024];
      DWORD length = sizeof name;
      if (store_.RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    store_.RegCloseKey(key);
    return names;
  }

  // The class a subkey was created with ("" for none).
  std::string Class(const std::string& parentRelative, const std::string& child) {
    HKEY key = 0;
    std::string found = "<missing>";
    if (store_.RegOpenKeyA(hive_, Path(parentRelative), &key) != ERROR_SUCCESS) return found;
    for (DWORD i = 0;; ++i) {
      char name[256], cls[256];
      DWORD nameLength = sizeof name, classLength = sizeof cls;
      if (store_.RegEnumKeyExA(key, i, name, &nameLength, nullptr, cls, &classLength, nullptr) != ERROR_SUCCESS)
        break;
      if (std::string(name, nameLength) == child) found.assign(cls, classLength);
    }
    store_.RegCloseKey(key);
    return found;
  }

 private:
  RegistryStore& store_;
  HKEY hive_;
};

}  // namespace pw::test
