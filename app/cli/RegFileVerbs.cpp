// import, export: registry files from and to the command line.
#include <iostream>

#include <algorithm>

#include "Cli.h"
#include "policy/NewStoreLayout.h"
#include "regfile/FileBytes.h"
#include "regfile/RegFileExport.h"
#include "regfile/RegFileImport.h"
#include "regfile/RegFileReader.h"
#include "regfile/TextCodec.h"
#include "registry/MemoryStore.h"
#include "registry/Utf8.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";
// After a key an import skipped: how to import it too.
constexpr const char* kImportsAll = " (--all imports it)";

std::string OneFile(Args& args, const char* verb) {
  std::vector<std::string> rest = args.Rest();
  if (rest.size() != 1) throw UsageError{std::string(verb) + " takes one FILE (- for standard " +
                                         (std::string(verb) == "import" ? "input)" : "output)")};
  return rest[0];
}

}  // namespace

std::string ShownName(const std::string& file, const char* standardStream) {
  return file == "-" ? standardStream : file;
}

bool ReadInput(Run& run, const std::string& file, std::string& bytes, std::size_t limit) {
  Result read = file == "-" ? LoadStream(run.env.in, "standard input", bytes, limit) : LoadFile(file, bytes, limit);
  if (!read.Ok()) run.env.err << kProgram << ": " << ShownText(read.Message()) << "\n";
  return read.Ok();
}

bool WriteOutput(Run& run, const std::string& file, const std::string& bytes) {
  if (file == "-") {
    run.env.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    run.env.out.flush();
    if (!run.env.out) {
      run.env.err << kProgram << ": cannot write to standard output\n";
      return false;
    }
  } else if (Result saved = SaveFileReplacing(file, bytes); !saved.Ok()) {
    run.env.err << kProgram << ": " << saved.Message() << "; nothing was exported\n";
    return false;
  }
  return true;
}

std::ostream& Summary(Run& run, const std::string& file) { return file == "-" ? run.env.err : run.env.out; }

bool PrintPlan(Run& run, const RegFile& file, const ImportPlan& plan) {
  std::vector<std::string> lines;
  if (Result described = DescribePlan(file, plan, lines); !described.Ok()) {
    run.env.err << kProgram << ": " << ShownText(described.Message()) << "\n";
    return false;
  }
  for (const std::string& line : lines) run.env.out << ShownText(line) << "\n";
  return true;
}

int RunImport(Run& run) {
  bool policy = run.args.Flag("--policy");
  bool all = run.args.Flag("--all");
  bool dryRun = run.args.Flag("--dry-run");
  std::string file = OneFile(run.args, "import");
  if (policy && all) throw UsageError{"--all does not go with --policy: a policy's site list is all it imports"};
  std::string shown = ShownName(file, "standard input");
  std::string bytes;
  if (!ReadInput(run, file, bytes, policy ? kMaxPolicyFileSize : kMaxRegFileSize)) return kExitFailure;
  if (policy) return ImportPolicy(run, bytes, shown, dryRun);
  RegFile parsed;
  RegFileError parseError;
  if (!ReadRegFile(bytes, shown, parsed, parseError)) {
    run.env.err << kProgram << ": " << ShownText(parseError.Message()) << "\n"
                << kProgram << ": nothing was imported\n";
    return kExitFailure;
  }
  ImportPlan plan = PlanImport(parsed, all);
  for (const std::string& warning : plan.warnings)
    run.env.err << kProgram << ": warning: " << ShownText(warning) << "\n";
  if (dryRun) {
    if (!PrintPlan(run, parsed, plan)) return kExitFailure;
    for (const SkippedKey& skipped : plan.skipped)
      run.env.out << "would skip " << ShownText(SkipMessage(skipped)) << kImportsAll << "\n";
    if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
    run.env.out << "dry run: nothing was written to " << run.Store().Describe() << "\n";
    return kExitOk;
  }
  {
    LineBatch skips(run.env.err);
    for (const SkippedKey& skipped : plan.skipped)
      skips.Add(std::string(kProgram) + ": skipped " + ShownText(SkipMessage(skipped)) + kImportsAll + "\n");
  }
  if (!run.OpenStore()) return kExitFailure;
  ImportResult result = ApplyImport(run.Store(), parsed, plan);
  if (!result.error.empty()) {
    run.env.err << kProgram << ": " << shown << ": " << ShownText(result.error) << "\n";
    return kExitFailure;
  }
  run.env.out << "imported " << shown << " into " << run.Store().Describe() << ": "
              << Counted(result.keysWritten, "key", "keys") << " written, "
              << Counted(result.valuesSet, "value", "values") << " set, "
              << Counted(result.keysDeleted, "key", "keys") << " deleted, "
              << Counted(result.valuesDeleted, "value", "values") << " deleted, "
              << Counted(plan.skipped.size(), "key", "keys") << " skipped\n";
  return kExitOk;
}

int RunExport(Run& run) {
  bool policy = run.args.Flag("--policy");
  bool policyList = run.args.Flag("--policy-list");
  std::optional<std::string> key = run.args.Option("--key");
  bool regedit4 = run.args.Flag("--regedit4");
  bool skipUnwritable = run.args.Flag("--skip-unwritable");
  std::string file = OneFile(run.args, "export");
  if (policy || policyList) {
    if (policy && policyList) throw UsageError{"--policy and --policy-list are two forms of one list: give one"};
    if (key || regedit4) throw UsageError{"--key and --regedit4 are for .reg files, not policies"};
    return ExportPolicyFile(run, file, policyList);
  }
  std::vector<KeyName> roots = DefaultExportKeys();
  if (key) {
    std::string storeText;
    std::string why;
    std::optional<KeyName> name;
    if (ConvertText(TextEncoding::Utf8, TextEncoding::Store, *key, storeText)) name = ParseKeyName(storeText, &why);
    else why = "it cannot be written in the store's 8-bit text";
    if (!name) throw UsageError{"--key needs a full key name such as HKCU\\Software\\Microsoft: " + why};
    roots = {*name};
  }
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  ExportResult result =
      ExportRegFile(run.Store(), roots, regedit4 ? RegFileFormat::Regedit4 : RegFileFormat::Version5, skipUnwritable);
  if (!result.ok) {
    run.env.err << kProgram << ": " << ShownText(result.error) << "; nothing was exported"
                << (skipUnwritable ? "" : " (--skip-unwritable writes everything else)") << "\n";
    return kExitFailure;
  }
  for (const std::string& skipped : result.skipped)
    run.env.err << kProgram << ": not exported: " << ShownText(skipped) << "\n";
  if (key && !result.missing.empty()) {
    run.env.err << kProgram << ": the key " << ShownText(result.missing.front()) << " is not in the store "
                << run.Store().Describe() << "; nothing was exported\n";
    return kExitFailure;
  }
  // A key that a fresh store does not have either (HKEY_LOCAL_MACHINE's
  // Internet Settings) is not worth a warning when the user did not name it.
  MemoryStore fresh;
  LayOutNewStore(fresh);
  for (const KeyName& root : roots) {
    std::string name = FullKeyName(root.hive, root.path);
    if (std::find(result.missing.begin(), result.missing.end(), name) == result.missing.end()) continue;
    if (Registry(fresh).RegKeyExists(root.hive, root.path))
      run.env.err << kProgram << ": " << name << " is not in the store; not exported\n";
  }
  if (!WriteOutput(run, file, result.bytes)) return kExitFailure;
  Summary(run, file) << "exported " << Counted(result.keys, "key", "keys") << " and "
                     << Counted(result.values, "value", "values") << " to "
                     << ShownName(file, "standard output") << "\n";
  return kExitOk;
}

}  // namespace pw::cli
