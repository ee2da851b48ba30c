// fuzz-libraries: pw_regfile
// The Registry.pol reader on arbitrary bytes: it never crashes; whatever it
// accepts the writer writes back byte for byte, and the site list's import plan
// takes it without crashing, naming every entry it skips.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regfile/GroupPolicy.h"
#include "regfile/PolicyFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  pw::PolicyFile file;
  pw::PolicyFileError error;
  if (!pw::ReadPolicyFile(bytes, "fuzz.pol", file, error)) {
    if (error.what.empty() || !file.entries.empty()) __builtin_trap();
    return 0;
  }
  std::string written;
  if (!pw::WritePolicyFile(file, written).Ok() || written != bytes) __builtin_trap();
  pw::PolicyImportPlan plan = pw::PlanPolicyImport(file);
  std::size_t values = 0;
  for (const pw::RegFileKey& key : plan.file.keys) values += key.values.size();
  if (values != plan.listings || values > file.entries.size()) __builtin_trap();
  for (const pw::LeftOut& skipped : plan.skipped)
    if (skipped.what.empty() || skipped.why.empty()) __builtin_trap();
  return 0;
}
