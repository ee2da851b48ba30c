#include "Cli.h"

namespace pw::cli {
namespace {

constexpr VerbOption kZoneOption = {
    "--zone Z", "trusted, unclassified or restricted, in any letter case, or the zone's number 2, 3 or 4"};
constexpr VerbOption kDomainOption = {"--domain D", "the domain key, as list shows it (required)"};
constexpr VerbOption kSubdomainOption = {"--subdomain S",
                                         "the subdomain key; without it, a value of the domain key itself"};
constexpr VerbOption kProtocolOption = {
    "--protocol P",
    "http, https, ftp, or * for all protocols (also written Default, as list shows it), in any letter case; "
    "the default is *"};

}  // namespace

const std::vector<Verb>& Verbs() {
  static const std::vector<Verb> verbs = {
      {"status", "", "print the Internet zone's state: secured, semi-secured or unsecured", true, RunStatus,
       "The state is read from the zone's policy values, as the window's status panel shows it.",
       {},
       {"portwarden-cli status"}},
      {"secure", "", "write the locked-down profile", true, RunSecure,
       "Scripts, ActiveX controls and plug-ins from sites that are not trusted are then disallowed. Prints the "
       "state read back; exits 1 when it is not secured.",
       {},
       {"portwarden-cli secure"}},
      {"prompt", "", "write the prompting profile", true, RunPrompt,
       "The browser then asks before each script, control or plug-in runs. Prints the state read back "
       "(semi-secured), as the window's switch does when Ctrl and Alt are held.",
       {},
       {"portwarden-cli prompt"}},
      {"default", "[--yes]", "write the default profile, after a confirmation", true, RunDefault,
       "Asks \"Confirm Disable Security\" on the terminal, then writes the default profile, in which any site "
       "can run scripts, and prints the state read back (unsecured). Without a terminal to answer on the answer "
       "is No.",
       {{"--yes", "answer Yes without asking"}},
       {"portwarden-cli default --yes"}},
      {"list", "[--format table|tsv|json]", "print the site listings as the site list shows them", true, RunList,
       "Sorted by domain: the protocol (Default for all protocols), the subdomain, the domain, and the zone the "
       "listing sets with its name (1 Local intranet, 2 Trusted, 3 Unclassified, 4 Restricted).",
       {{"--format F",
         "table (the default); tsv, with a header line; or json, one array of objects. Both have the fields "
         "protocol, subdomain, domain, icon (the list's picture, 1 to 11), zone (1 to 4) and name"}},
       {"portwarden-cli list --format json"}},
      {"parse", "ADDRESS... | -", "print how each address is taken apart", false, RunParse,
       "One line of JSON for each address: Verdict (Accepted, TooShort, FraudAlert or CorruptedUrl), "
       "AddressText, Domain, SubDomain, FullSubDomain and IpText. For a single refused address the \"Fraud "
       "Alert\" or \"Corrupted URL\" message goes to standard error, with what was refused. Exits 3 unless every "
       "address was accepted. Uses no store.",
       {{"-", "read one address a line from standard input, skipping blank lines"}},
       {"portwarden-cli parse https://a.b.example.com/x"}},
      {"add", "ADDRESS [--zone Z] [--protocols LIST] [--keep]",
       "list the site of an address, for all protocols or per protocol", true, RunAdd,
       "The address is checked as the window's Add button checks it. Without --protocols the generalised "
       "listing is written: the value * of the domain key, or of a subdomain key such as *.b for "
       "a.b.example.com. With --protocols one value for each protocol is written in the key of the exact "
       "subdomain. A listing already there with another zone is replaced, and standard error names the zone it "
       "had. A refused address prints its message and what was refused, writes nothing and exits 3.",
       {{kZoneOption.option, "trusted, unclassified or restricted, in any letter case, or the zone's number 2, 3 "
                             "or 4; the default is unclassified"},
        {"--protocols LIST", "https, ftp and http, any of them, in any letter case, separated by commas or spaces"},
        {"--keep", "leave every listing already there as it is, and say so"}},
       {"portwarden-cli add https://www.example.com --zone trusted",
        "portwarden-cli add ftp.example.org --protocols 'https, ftp' --zone restricted"}},
      {"set", "--domain D [--subdomain S] [--protocol P] --zone Z", "set the zone of an existing listing", true,
       RunSet,
       "As the window's Trust, Declassify and Restrict buttons do. A listing that does not exist is an error "
       "(exit 1, nothing written).",
       {kDomainOption, kSubdomainOption, kProtocolOption, {kZoneOption.option, "the zone to set (required): "
                                                                               "trusted, unclassified or "
                                                                               "restricted, in any letter case, "
                                                                               "or 2, 3 or 4"}},
       {"portwarden-cli set --domain example.com --zone restricted",
        "portwarden-cli set --domain example.com --subdomain mail --protocol https --zone 2"}},
      {"delete", "--domain D [--subdomain S] [--protocol P]", "delete a listing and the keys it leaves empty", true,
       RunDelete,
       "As the window's Delete button does: the value goes, then every zone-map key left without subkeys and "
       "values. A listing that does not exist is an error (exit 1).",
       {kDomainOption, kSubdomainOption, kProtocolOption},
       {"portwarden-cli delete --domain example.com --subdomain mail --protocol http"}},
      {"report", kReportUsage, "print the scripting privilege report of the site list", true, RunReport,
       "The \"Portwarden Scripting Privilege Report\" of the site list, sorted by domain, as the window's Print "
       "button prints it.",
       {{"--text", "the report's text (the default)"},
#if defined(PW_HAVE_REPORT_DOCUMENT)
        {"--html", "an HTML page with the report's fonts and colours"},
        {"--pdf FILE", "a PDF file with its fonts embedded; - writes it to standard output"},
        {"--print", "one copy on the default printer; exits 1 with a message when there is none or it "
                    "refuses the job"}
#endif
       },
       {"portwarden-cli report",
#if defined(PW_HAVE_REPORT_DOCUMENT)
        "portwarden-cli report --pdf report.pdf"
#endif
       }},
      {"zone", "ADDRESS... [--format text|json]", "print the zone the browser gives each address, and why",
       true, RunZone,
       "As the browser's zone logic decides: one line of tab-separated fields for each address (the address as "
       "looked up, the zone number, its name, and the deciding key and value or why none applies). An address "
       "without a scheme is taken as an http address. Exits 3 unless every address was answered (only http, "
       "https and ftp addresses are).",
       {{"--format F",
         "text (the default) or json: one object a line with address, verdict, zone, name, hive, key, value and "
         "reason"},
        {"-", "in place of the addresses: read one address a line from standard input (a line of more than 1 "
              "MiB ends it with a message)"}},
       {"portwarden-cli zone https://mail.example.com/ www.example.org"}},
      {"import", "FILE [--all] [--dry-run] | FILE --policy [--dry-run]",
       "import a .reg file, or a Group Policy file's site list", true, RunImport,
       "A .reg file (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\") is checked whole first: a "
       "malformed line writes nothing. Only the keys this program manages are written (Internet Settings under "
       "either hive, the toolbar extensions under HKLM); every other key is named and skipped. The import lands "
       "whole or not at all; a file of more than 32 MiB is refused. On Windows, save the zone settings of the current user with:\n\n"
       "  reg export \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\" file.reg\n\n"
       "With --policy the file is a Group Policy file (Registry.pol, ours or one saved from a policy object) and "
       "its site-to-zone assignment list becomes listings of the zone map, whole or not at all. A site without a "
       "scheme covers every protocol; example.com and *.example.com both become the domain's own listing. The "
       "import adds listings and removes none. Other entries, IP addresses and ranges, ports and paths are named "
       "and skipped; the zone's profile and the browsers' script policy that our own export writes beside the "
       "list are counted, not imported. A policy file may hold up to 32 MiB. FILE - reads standard input.",
       {{"--all", "import every key of a .reg file, not only those this program manages"},
        {"--dry-run", "print what would be written and skipped, and write nothing"},
        {"--policy", "the file is a Group Policy file (Registry.pol)"}},
       {"portwarden-cli import file.reg --dry-run", "portwarden-cli import Registry.pol --policy"}},
      {"export", "FILE [--key KEY] [--regedit4] [--skip-unwritable] | FILE --policy | FILE --policy-list",
       "export keys as a .reg file, or the protection as a Group Policy file", true, RunExport,
       "A .reg file holds Internet Settings of both hives and the toolbar extensions, or the one key --key "
       "names, with everything below it, in the version 5.00 format; it replaces an existing file only once it "
       "is complete, and importing it gives the same store back. Take it to Windows and import it there with:\n\n"
       "  reg import file.reg\n\n"
       "With --policy the file is a machine policy (Registry.pol) for every computer of a domain: the zone map "
       "as the site-to-zone assignment list, replacing any list before it; when the zone is secured or "
       "prompting, that profile's values; and Chrome's and Edge's script lists and default, as enforcement "
       "gives them. Listings the list cannot express are left out and named. FILE - writes standard output.",
       {{"--key KEY", "the one key to export, such as \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                      "Settings\""},
        {"--regedit4", "the older 8-bit format"},
        {"--skip-unwritable", "leave out, and name, a key or value no .reg file can carry, instead of failing"},
        {"--policy", "a Group Policy file (Registry.pol)"},
        {"--policy-list", "the policy's site list as text for the policy editor: one site<TAB>zone a line"}},
       {"portwarden-cli export backup.reg", "portwarden-cli export Registry.pol --policy"}},
      {"restrict-hosts", "FILE [--name NAME] [--generalise] [--dry-run] | --undo NAME [--dry-run] | --list",
       "restrict every host of a blocklist at once, each host alone, and undo it exactly", true, RunRestrictHosts,
       "FILE is a hosts file as public lists publish it (\"0.0.0.0 host\", # comments) or one host a line; - "
       "reads standard input. Each host is checked as add checks it and restricted alone, in one transaction: "
       "in the subdomain key of its own name under its domain (ads.example.com as example.com\\ads), or on the "
       "domain key when it is the domain; a host that is a public suffix is refused. Refused "
       "hosts go to standard error with their line, and the rest is still applied. What the list made and "
       "changed is recorded under its name, so that --undo puts it back; a listing another applied list also "
       "restricts stays until the last of them is undone. A list may hold up to 64 MiB.",
       {{"--name NAME", "the name the list is recorded under (default: the file's name; needed for -)"},
        {"--generalise", "list each host generalised, as add lists it (all of example.com for ads.example.com); "
                         "a dry run then names every listing wider than its host"},
        {"--dry-run", "print the counts and the listings it would make, and write nothing"},
        {"--undo NAME", "remove what that list made and put back what it changed"},
        {"--list", "show the lists applied, with how many listings each made and changed"}},
       {"portwarden-cli restrict-hosts hosts.txt --dry-run", "portwarden-cli restrict-hosts --undo hosts.txt"}},
      {"register-button", "[--another] | --remove",
       "register the browser's \"Trust\" button, or remove the registered buttons", true, RunRegisterButton,
       "Registers the button as the window program's first start does, and sets the first-start mark: a key "
       "named by a new GUID under HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Extensions whose "
       "values start the window program beside this one, recorded in the uninstall log st6unst.log. On Linux "
       "this is a record in the store, for the Windows browser that reads it and for an export to Windows; no "
       "Linux browser shows the button. A button already registered is left as it is, and nothing is added.",
       {{"--another", "register one more button even when one is registered"},
        {"--remove", "remove every button the uninstall log records, with its lines in the log"}},
       {"portwarden-cli register-button", "portwarden-cli register-button --remove"}},
      {"open-pages", "", "print the open browser pages start-up offers, the box's text last", false, RunOpenPages,
       "On Linux these are the tabs of the running Firefox, in window and tab order, without private windows "
       "and pages whose address holds \"///\". Uses no store.",
       {},
       {"portwarden-cli open-pages"}},
      {"enforce", "on [--browsers LIST] [--policy-root DIR] [--copy] [--registry] [--force] | off | status | show",
       "keep the zone map as the script policy of Chromium-family browsers and Firefox", true, RunEnforce,
       "on, run once as root, makes the zone map and the zone state the script policy of Chromium, Chrome, Edge "
       "and Brave, so that they decide every address as the zone query and the zone state imply: the Trusted "
       "zone runs scripts, the Restricted zone does not, anything else follows the state (a narrower listing "
       "that differs from a broader one gets a pattern of its own); and of Firefox, as no-scripting switches of "
       "the content blocker Debian's package webext-ublock-origin-firefox installs, with an entry in Firefox's "
       "policies file for private windows. From then on every write of either program re-applies it. off removes "
       "only what on "
       "made, and puts back what --force kept aside. status exits 1 when a browser's policy is missing or behind the "
       "store, or still in place for a store that no longer records it; show prints the policy.",
       {{"--browsers LIST", "chromium, chrome, edge, brave and firefox, any of them, separated by commas (default: "
                            "those installed; a named browser that is not installed gets its policy folder made)"},
        {"--policy-root DIR", "one policy folder used instead of the browsers' own (managed/ and recommended/ are "
                              "made in it; for firefox, managed-storage/ and policies/policies.json)"},
        {"--copy", "write real files instead of links to files beside the store"},
        {"--registry", "write the policy into the store's HKEY_LOCAL_MACHINE\\Software\\Policies, as on Windows"},
        {"--force", "take the place of a portwarden.json, a Firefox manifest or a Firefox policies entry for the "
                    "blocker that is not ours, keeping it aside for off to put back"}},
       {"sudo portwarden-cli --store ~/.local/share/portwarden/registry.db enforce on",
        "portwarden-cli enforce status"}},
  };
  return verbs;
}

}  // namespace pw::cli
