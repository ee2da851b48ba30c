// import --policy, export --policy and --policy-list: Group Policy files from
// and to the command line.
#include <iostream>

#include "Cli.h"
#include "regfile/GroupPolicy.h"
#include "regfile/RegFileImport.h"
#include "registry/Utf8.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";

// A policy of our own carries more than the site list; that is no fault of it.
std::string BesideSiteList(const PolicyImportPlan& plan) {
  return Counted(plan.besideSiteList, "entry", "entries") +
         " of the zone's profile and the browsers' script policy, which are Group Policy's to apply";
}

}  // namespace

int ImportPolicy(Run& run, const std::string& bytes, const std::string& shown, bool dryRun) {
  PolicyFile policy;
  PolicyFileError readError;
  if (!ReadPolicyFile(bytes, shown, policy, readError)) {
    run.env.err << kProgram << ": " << ShownText(readError.Message()) << "\n" << kProgram << ": nothing was imported\n";
    return kExitFailure;
  }
  PolicyImportPlan plan = PlanPolicyImport(policy);
  ImportPlan writes = PlanImport(plan.file, false);
  const char* skipWord = dryRun ? "would skip " : "skipped ";
  std::ostream& skips = dryRun ? run.env.out : run.env.err;
  if (dryRun) {
    if (!PrintPlan(run, plan.file, writes)) return kExitFailure;
  }
  {
    LineBatch lines(skips);
    for (const LeftOut& skipped : plan.skipped)
      lines.Add((dryRun ? "" : std::string(kProgram) + ": ") + skipWord + ShownText(skipped.what) + ": " +
                ShownText(skipped.why) + "\n");
  }
  if (dryRun) {
    if (plan.besideSiteList) run.env.out << "would leave alone " << BesideSiteList(plan) << "\n";
    if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
    run.env.out << "dry run: nothing was written to " << run.Store().Describe() << "\n";
    return kExitOk;
  }
  if (!run.OpenStore()) return kExitFailure;
  ImportResult result = ApplyImport(run.Store(), plan.file, writes);
  if (!result.error.empty()) {
    run.env.err << kProgram << ": " << shown << ": " << ShownText(result.error) << "\n";
    return kExitFailure;
  }
  run.env.out << "imported " << Counted(plan.listings, "listing", "listings") << " from " << shown << " into "
              << run.Store().Describe() << ", " << plan.skipped.size() << " skipped";
  if (plan.besideSiteList) run.env.out << "; left alone " << BesideSiteList(plan);
  run.env.out << "\n";
  return kExitOk;
}

int ExportPolicyFile(Run& run, const std::string& file, bool listText) {
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  PolicyExport exported = ExportPolicy(run.Store());
  if (!exported.ok) {
    run.env.err << kProgram << ": " << ShownText(exported.error) << "; nothing was exported\n";
    return kExitFailure;
  }
  std::string bytes;
  if (listText) {
    bytes = PolicyListText(exported);
  } else {
    if (Result written = WritePolicyFile(exported.file, bytes); !written.Ok()) {
      run.env.err << kProgram << ": " << written.Message() << "; nothing was exported\n";
      return kExitFailure;
    }
  }
  {
    LineBatch lines(run.env.err);
    for (const LeftOut& left : exported.leftOut)
      lines.Add(std::string(kProgram) + ": left out " + ShownText(left.what) + ": " + ShownText(left.why) + "\n");
  }
  if (!WriteOutput(run, file, bytes)) return kExitFailure;
  std::ostream& summary = Summary(run, file);
  std::string shown = ShownName(file, "standard output");
  if (listText) {
    summary << "exported the site list of " << Counted(exported.sites.size(), "site", "sites") << " to " << shown;
  } else {
    summary << "exported a policy of " << Counted(exported.file.entries.size(), "entry", "entries") << " to " << shown
            << ":";
    for (std::size_t i = 0; i < exported.notes.size(); ++i) summary << (i ? "; " : " ") << exported.notes[i];
  }
  if (!exported.leftOut.empty()) summary << "; " << Counted(exported.leftOut.size(), "listing", "listings") << " left out";
  summary << "\n";
  return kExitOk;
}

}  // namespace pw::cli
