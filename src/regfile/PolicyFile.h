// Group Policy registry files (Registry.pol): the signature "PReg", version 1,
// then one entry per value, "[key;value name;type;size;data]", with the
// brackets, the semicolons and the NUL-terminated names in UTF-16LE and the
// type and size as 32-bit little-endian numbers. The value names "**delvals."
// and "**del.NAME" are the format's own: they delete all values of the key, or
// the value NAME.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"
#include "registry/Result.h"

namespace pw {

inline constexpr const char* kDeleteAllValues = "**delvals.";
inline constexpr const char* kDeleteValuePrefix = "**del.";

struct PolicyEntry {
  std::string key;   // UTF-8, components joined by one backslash, no hive
  std::string name;  // UTF-8; empty for the key's unnamed value
  DWORD type = REG_NONE;
  std::string data;        // the bytes as the file holds them
  std::size_t offset = 0;  // where its "[" stands in the file (0: not read from a file)
};

struct PolicyFile {
  std::vector<PolicyEntry> entries;  // in file order
};

struct PolicyFileError {
  std::string file;         // as the caller named it
  std::size_t offset = 0;   // byte offset of the entry at fault
  std::size_t entry = 0;    // its number, from 1; 0 for the header
  std::string what;
  // "FILE, entry N (byte OFFSET): WHAT", or "FILE: WHAT" for the header.
  std::string Message() const;
};

// Parses the whole content of the file called `fileName`. The file is checked
// whole: every entry must be complete, its names valid UTF-16 without an empty
// key, its type one the registry knows and its size one its type can have
// (4 for REG_DWORD, 8 for REG_QWORD, whole UTF-16 units for text); nothing may
// follow the last entry. On success fills `out` and returns true; otherwise
// returns false with `error`, and `out` is left empty.
bool ReadPolicyFile(std::string_view bytes, const std::string& fileName, PolicyFile& out, PolicyFileError& error);

// Writes `file` as a Registry.pol. False, with `error` naming the entry, when a
// name is not valid UTF-8, holds a NUL, or the key is empty.
Result WritePolicyFile(const PolicyFile& file, std::string& bytes);

// Data as the format holds it: text as UTF-16LE with its terminating NUL (false
// when `utf8` is not valid UTF-8), a DWORD as 4 bytes little-endian.
bool PolicyText(std::string_view utf8, std::string& data);
std::string PolicyDword(std::uint32_t number);

// The text of REG_SZ or REG_EXPAND_SZ data in UTF-8, without its terminating
// NUL; false when the data is not such text.
bool PolicyTextOf(const PolicyEntry& entry, std::string& utf8);

}  // namespace pw
