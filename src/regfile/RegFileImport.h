// Importing a registry file into the store without harm: the file has been read
// and checked whole before (ReadRegFile); the plan decides what is written and
// what is skipped; the writes land in one store transaction, whole or not at
// all.
#pragma once

#include <string>
#include <vector>

#include "regfile/RegFile.h"
#include "registry/RegistryStore.h"
#include "registry/Result.h"

namespace pw {

// The keys this program manages: "...\Internet Settings" and everything below
// it under either hive, and the browser's toolbar extensions under
// HKEY_LOCAL_MACHINE, where the program registers its button.
bool IsManagedKey(HKEY hive, std::string_view path);

struct SkippedKey {
  std::string name;  // the key's full name
  bool remove = false;
  int line = 0;  // its first line in the file
};

struct ImportPlan {
  std::vector<std::size_t> keys;    // indices into RegFile::keys, in file order
  std::vector<SkippedKey> skipped;  // keys outside the managed ones, each named once
  std::vector<std::string> warnings;
};

// Decides what an import of `file` writes: by default only managed keys, every
// other key skipped and named; with `all`, every key. Warns when the import
// deletes the Internet zone key or a key above it and does not create it again.
ImportPlan PlanImport(const RegFile& file, bool all);

// "KEY (line N): not a key this program manages", for a skipped key.
std::string SkipMessage(const SkippedKey& skipped);

// What the plan would write, one line each, in UTF-8: "write KEY" followed by
// its value lines as the file has them ("delete KEY and everything below it"
// for a deletion), for a dry run. False with `error` when a value cannot be
// shown.
Result DescribePlan(const RegFile& file, const ImportPlan& plan, std::vector<std::string>& lines);

struct ImportResult {
  LONG status = ERROR_SUCCESS;  // the store's status when it failed
  std::string error;            // empty when the import landed
  std::size_t keysWritten = 0;
  std::size_t valuesSet = 0;
  std::size_t keysDeleted = 0;  // deleted key lines whose key existed
  std::size_t valuesDeleted = 0;
};

// Applies the plan in one transaction: keys are created and values set in file
// order, "[-KEY]" deletes the key with everything below it, "name"=- deletes
// the value (a key or value that is not there is no error). When the store
// fails, the transaction is rolled back and nothing is written; a store that
// cannot roll back (the platform's registry) keeps what was written before,
// and the error says so.
ImportResult ApplyImport(RegistryStore& store, const RegFile& file, const ImportPlan& plan);

}  // namespace pw
