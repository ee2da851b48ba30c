// A registry file's content as keys and values in the store's own terms: the
// common form between the reader, the writer, the import and the export.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"

namespace pw {

enum class RegFileFormat {
  Version5,  // "Windows Registry Editor Version 5.00": UTF-16 text
  Regedit4,  // "REGEDIT4": 8-bit text
};

inline constexpr const char* kVersion5Header = "Windows Registry Editor Version 5.00";
inline constexpr const char* kRegedit4Header = "REGEDIT4";

struct RegFileValue {
  std::string name;     // store text; empty for the unnamed value
  bool remove = false;  // "name"=-: delete the value
  DWORD type = REG_NONE;
  std::string data;  // the bytes the store keeps
  int line = 0;      // where it starts in the file (0: not read from a file)
};

struct RegFileKey {
  HKEY hive = HKEY_CURRENT_USER;
  std::string path;     // store text, components joined by one backslash; empty: the hive
  bool remove = false;  // [-KEY]: delete the key and everything below it
  int line = 0;
  std::vector<RegFileValue> values;
};

struct RegFile {
  RegFileFormat format = RegFileFormat::Version5;
  std::vector<RegFileKey> keys;  // in file order
};

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* HiveName(HKEY hive);

// The full name of a key as files and messages show it: "HKEY_CURRENT_USER\path".
std::string FullKeyName(HKEY hive, std::string_view path);

struct KeyName {
  HKEY hive = HKEY_CURRENT_USER;
  std::string path;
};

// Splits a full key name into hive and path. The hive may be spelled
// HKEY_CURRENT_USER, HKCU, HKEY_LOCAL_MACHINE or HKLM, in any letter case.
// The path keeps its spelling; one trailing backslash is dropped. Nothing when
// the name does not start with one of those hives or has an empty component;
// `why` then says what is wrong.
std::optional<KeyName> ParseKeyName(std::string_view text, std::string* why = nullptr);

// True when `path` is `ancestor` or lies below it; names compare as the store
// compares them (without regard to letter case).
bool IsSameOrBelow(std::string_view path, std::string_view ancestor);

}  // namespace pw
