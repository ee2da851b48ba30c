// Exporting keys of the store, each with everything below it, as a registry
// file: keys in the store's enumeration order, each key's values in creation
// order, types and data as the store keeps them.
#pragma once

#include <string>
#include <vector>

#include "regfile/RegFile.h"
#include "registry/RegistryStore.h"

namespace pw {

// What an export writes by default: Internet Settings under both hives and the
// toolbar extensions under HKEY_LOCAL_MACHINE.
std::vector<KeyName> DefaultExportKeys();

// Appends hive\path and every key below it, with their values, to `file`. The
// key names are spelled as the store spells them. Returns 0; 2 when the key
// does not exist (nothing appended); another status when the store failed,
// with `error` saying where.
LONG CollectKeys(RegistryStore& store, const KeyName& root, RegFile& file, std::string& error);

struct ExportResult {
  bool ok = false;
  std::string error;                 // when not ok
  std::string bytes;                 // the file
  std::vector<std::string> missing;  // full names of roots not in the store
  std::size_t keys = 0;
  std::size_t values = 0;
};

// Collects every root (a root that does not exist is listed in `missing` and
// skipped) in one read snapshot of the store, and writes them in `format`.
ExportResult ExportRegFile(RegistryStore& store, const std::vector<KeyName>& roots, RegFileFormat format);

}  // namespace pw
