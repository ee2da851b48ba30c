#include "Cli.h"

namespace pw::cli {

const std::vector<Verb>& Verbs() {
  static const std::vector<Verb> verbs = {
      {"status", "", "print the Internet zone's state: secured, semi-secured or unsecured", true, RunStatus},
      {"secure", "", "write the locked-down profile", true, RunSecure},
      {"prompt", "", "write the prompting profile", true, RunPrompt},
      {"default", "[--yes]", "write the default profile, after a confirmation", true, RunDefault},
      {"list", "[--format table|tsv|json]", "print the site listings as the site list shows them", true, RunList},
      {"parse", "ADDRESS... | -", "print how each address is taken apart (- reads lines from stdin)", false,
       RunParse},
      {"add", "ADDRESS [--zone Z] [--protocols LIST] [--keep]",
       "list the site of an address, generalised or per protocol; --keep leaves a listing already there alone",
       true, RunAdd},
      {"set", "--domain D [--subdomain S] [--protocol P] --zone Z", "set the zone of an existing listing", true,
       RunSet},
      {"delete", "--domain D [--subdomain S] [--protocol P]", "delete a listing and the keys it leaves empty", true,
       RunDelete},
      {"report", kReportUsage, "print the scripting privilege report of the site list", true, RunReport},
      {"zone", "ADDRESS... | - [--format text|json]", "print the zone the browser gives each address, and why", true,
       RunZone},
      {"import", "FILE [--all] [--dry-run] | FILE --policy [--dry-run]",
       "import a .reg file, or with --policy a Registry.pol's site list (- for standard input)", true, RunImport},
      {"export", "FILE [--key KEY] [--regedit4] [--skip-unwritable] | FILE --policy | FILE --policy-list",
       "export keys as a .reg file, or the protection as a Registry.pol (- for standard output)", true, RunExport},
      {"restrict-hosts", "FILE [--name NAME] [--dry-run] | --undo NAME [--dry-run] | --list", "restrict every host of a blocklist (hosts file) at once, and undo it exactly", true, RunRestrictHosts},
      {"register-button", "", "register the browser's \"Trust\" button and record it in st6unst.log", true,
       RunRegisterButton},
      {"open-pages", "", "print the open browser pages start-up offers, the box's text last", false, RunOpenPages},
      {"enforce", "on [--browsers LIST] [--policy-root DIR] [--copy] [--registry] [--force] | off | status | show",
       "keep the zone map as the script policy of Chromium-family browsers", true, RunEnforce},
  };
  return verbs;
}

}  // namespace pw::cli
