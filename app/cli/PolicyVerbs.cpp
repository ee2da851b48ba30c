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

}  // namespace

const char* PolicyHelp() {
  return "Group Policy (Registry.pol):\n"
         "  export FILE --policy writes a machine policy for every computer of a domain:\n"
         "  the zone map as the site-to-zone assignment list, after \"**delvals.\" so that\n"
         "  it replaces any list before it, and, when the Internet zone is secured or\n"
         "  prompting, that profile's values; and Chrome's and Edge's script lists and\n"
         "  default as enforcement gives them to this machine's browsers, each replacing\n"
         "  the one before it. It goes to Machine\\Registry.pol of the policy object.\n"
         "  --policy-list writes the same site list as the text the policy\n"
         "  editor's list dialog takes: one \"site<TAB>zone\" a line.\n"
         "  Site names: *://*.example.com for a domain's own listing for all protocols,\n"
         "  https://www.example.org for one protocol of a subdomain, *://*.b.example.com\n"
         "  for a generalised subdomain. Left out, and named on the error stream: a\n"
         "  protocol that is not a scheme; a domain or subdomain with an empty label, a\n"
         "  character no host name holds (of ASCII, only letters, digits, - and _ are\n"
         "  allowed), a label that starts or ends with -, or a * that is not a\n"
         "  subdomain's whole first label; a zone other than 2, 3 and 4; a listing\n"
         "  whose site name another listing already gives with another zone (a\n"
         "  subdomain key * and its domain's own value).\n"
         "  import FILE --policy takes a policy's site list (ours, or one saved from a\n"
         "  policy object) into the zone map, whole or not at all; a malformed file\n"
         "  writes nothing. A site without a scheme, or with *://, covers every\n"
         "  protocol; example.com and *.example.com both become the domain's own\n"
         "  listing, which covers its subdomains. The import adds listings and removes\n"
         "  none. Other entries, IP addresses and ranges, ports and paths are named and\n"
         "  skipped. --dry-run shows what it would write. A policy file may hold up to\n"
         "  32 MiB; a larger one is refused.\n";
}

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
    run.env.out << "dry run: nothing was written to " << run.store.Describe() << "\n";
    return kExitOk;
  }
  ImportResult result = ApplyImport(run.store, plan.file, writes);
  if (!result.error.empty()) {
    run.env.err << kProgram << ": " << shown << ": " << ShownText(result.error) << "\n";
    return kExitFailure;
  }
  run.env.out << "imported " << plan.listings << " listings from " << shown << " into " << run.store.Describe()
              << ", " << plan.skipped.size() << " skipped\n";
  return kExitOk;
}

int ExportPolicyFile(Run& run, const std::string& file, bool listText) {
  PolicyExport exported = ExportPolicy(run.store);
  if (!exported.ok) {
    run.env.err << kProgram << ": " << ShownText(exported.error) << "; nothing was exported\n";
    return kExitFailure;
  }
  std::string bytes;
  if (listText) {
    bytes = PolicyListText(exported);
  } else {
    std::string error;
    if (!WritePolicyFile(exported.file, bytes, error)) {
      run.env.err << kProgram << ": " << error << "; nothing was exported\n";
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
    summary << "exported the site list of " << exported.sites.size() << " sites to " << shown;
  } else {
    summary << "exported a policy of " << exported.file.entries.size() << " entries to " << shown << ":";
    for (std::size_t i = 0; i < exported.notes.size(); ++i) summary << (i ? "; " : " ") << exported.notes[i];
  }
  if (!exported.leftOut.empty()) summary << "; " << exported.leftOut.size() << " listings left out";
  summary << "\n";
  return kExitOk;
}

}  // namespace pw::cli
