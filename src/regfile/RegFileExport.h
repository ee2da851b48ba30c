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
// with `error` saying where. A key deeper than the platform's registry holds
// fails it too, or with `tooDeep` is left out and described there.
LONG CollectKeys(RegistryStore& store, const KeyName& root, RegFile& file, std::string& error,
                 std::vector<std::string>* tooDeep = nullptr);

struct ExportResult {
  bool ok = false;
  std::string error;                 // when not ok
  std::string bytes;                 // the file
  std::vector<std::string> missing;  // full names of roots not in the store
  std::vector<std::string> skipped;  // what could not be written, when skipping was asked for
  std::size_t keys = 0;
  std::size_t values = 0;
};

// Collects every root (a root that does not exist is listed in `missing` and
// skipped) in one read snapshot of the store, and writes them in `format`. A
// key or value that cannot be written (a name the file cannot carry, a key
// deeper than the platform's registry holds) fails the export, or with
// `skipUnwritable` is left out and described in `skipped`.
ExportResult ExportRegFile(RegistryStore& store, const std::vector<KeyName>& roots, RegFileFormat format,
                           bool skipUnwritable = false);

}  // namespace pw
