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
      {"add", "ADDRESS [--zone Z] [--protocols LIST]", "list the site of an address, generalised or per protocol",
       true, RunAdd},
      {"set", "--domain D [--subdomain S] [--protocol P] --zone Z", "set the zone of an existing listing", true,
       RunSet},
      {"delete", "--domain D [--subdomain S] [--protocol P]", "delete a listing and the keys it leaves empty", true,
       RunDelete},
      {"import", "FILE [--all] [--dry-run]", "import a .reg file (- for standard input)", true, RunImport},
      {"export", "FILE [--key KEY] [--regedit4] [--skip-unwritable]", "export keys as a .reg file (- for standard output)", true,
       RunExport},
  };
  return verbs;
}

}  // namespace pw::cli
