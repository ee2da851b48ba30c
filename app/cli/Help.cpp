// The help of portwarden-cli: the verb table, each verb's own help, and the
// manual page, all from the table of verbs so that they never disagree.
#include <ostream>
#include <cstring>
#include <sstream>

#include "Cli.h"
#include "common/Ascii.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";
#if defined(_WIN32)
constexpr const char* kStoreSynopsis = "";  // the registry, always
#else
constexpr const char* kStoreSynopsis = "[--store PATH] ";
#endif
constexpr std::size_t kLineWidth = 80;
constexpr std::size_t kVerbColumn = 20;    // the verb table's summaries
constexpr std::size_t kOptionColumn = 22;  // a verb's option texts

// `text` in lines of at most kLineWidth, each starting with `indent` spaces
// (the first after `first`, already written, when it is not empty); a blank
// line in the text starts a new paragraph.
void Wrap(std::ostream& out, const std::string& text, std::size_t indent, std::string first = "") {
  std::string line = std::move(first);
  if (line.size() + 1 >= indent && !line.empty()) {
    out << line << "\n";
    line.clear();
  }
  bool lineHasWord = false;
  auto flush = [&] {
    if (!line.empty()) out << line << "\n";
    line.clear();
    lineHasWord = false;
  };
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find("\n\n", start);
    if (start > 0) {
      flush();
      out << "\n";
    }
    std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.rfind("  ", 0) == 0) {
      // A command to copy stays as it is, on a line of its own.
      out << std::string(indent, ' ') << part << "\n";
      if (end == std::string::npos) break;
      start = end + 2;
      continue;
    }
    std::istringstream words(part);
    for (std::string word; words >> word;) {
      if (lineHasWord && line.size() + 1 + word.size() > kLineWidth) flush();
      if (lineHasWord) line += ' ';
      else line.resize(indent, ' ');
      line += word;
      lineHasWord = true;
    }
    if (end == std::string::npos) break;
    start = end + 2;
  }
  flush();
}

// The verb's synopses: one for each " | " alternative of its usage that is
// not inside brackets.
std::vector<std::string> Synopses(const Verb& verb) {
  std::vector<std::string> lines;
  std::string_view usage = verb.usage;
  std::string head = std::string(kProgram) + " " + kStoreSynopsis + verb.name;
  std::string alternative;
  int depth = 0;
  for (std::size_t i = 0; i <= usage.size(); ++i) {
    if (i == usage.size() || (depth == 0 && usage.substr(i, 3) == " | ")) {
      lines.push_back(head + (alternative.empty() ? "" : " " + alternative));
      alternative.clear();
      i += 2;
      continue;
    }
    if (usage[i] == '[') ++depth;
    if (usage[i] == ']') --depth;
    alternative += usage[i];
  }
  return lines;
}

// roff: text set as it is, with the characters roff would take as its own
// escaped, and a line never starting as a request.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// Paragraphs of a description as roff paragraphs.
void RoffParagraphs(std::ostream& out, const std::string& text) {
  std::size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    std::size_t end = text.find("\n\n", start);
    std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!first) out << ".PP\n";
    first = false;
    if (part.rfind("  ", 0) == 0) {
      out << ".RS\n.nf\n" << Roff(part.substr(2)) << "\n.fi\n.RE\n";
      if (end == std::string::npos) break;
      start = end + 2;
      continue;
    }
    // One sentence run per line; roff fills them.
    std::istringstream words(part);
    std::string word, line;
    while (words >> word) line += (line.empty() ? "" : " ") + word;
    out << Roff(line) << "\n";
    if (end == std::string::npos) break;
    start = end + 2;
  }
}

}  // namespace

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

const Verb* FindVerb(std::string_view name) {
  for (const Verb& verb : Verbs())
    if (name == verb.name) return &verb;
  return nullptr;
}

void PrintUsage(std::ostream& out) {
  out << "usage: " << kProgram << " " << kStoreSynopsis << "VERB [ARGS]\n"
      << "       " << kProgram << " VERB --help | help [VERB] | --version\n\n"
      << "Manages the Internet zone's script policy and the site listings of its zone\n"
         "map from the command line, as the window program portwarden does.\n\nverbs:\n";
  for (const Verb& verb : Verbs()) Wrap(out, verb.summary, kVerbColumn, std::string("  ") + verb.name);
  out << "\noptions:\n"
#if defined(_WIN32)
         "  (the store is the Windows registry)\n"
#else
         "  --store PATH      the store to use (default: $PORTWARDEN_STORE, else\n"
         "                    $XDG_DATA_HOME/portwarden/registry.db)\n"
#endif
         "  --                ends the options (an ADDRESS or FILE may then start with -)\n"
         "  --help            this text; after a verb, that verb's help\n"
         "  --version         the program's version\n"
         "\nexit codes: 0 done, 1 failed, 2 usage error, 3 address refused\n"
         "\nSee '"
      << kProgram << " VERB --help' for a verb's options and examples.\n";
}

void PrintVerbHelp(std::ostream& out, const Verb& verb) {
  const char* lead = "usage: ";
  for (const std::string& synopsis : Synopses(verb)) {
    out << lead << synopsis << "\n";
    lead = "       ";
  }
  std::string summary = std::string(verb.summary) + ".";
  summary[0] = AsciiUpper(summary[0]);
  out << "\n";
  Wrap(out, summary, 0);
  if (*verb.description) {
    out << "\n";
    Wrap(out, verb.description, 0);
  }
  if (!verb.options.empty()) {
    out << "\noptions:\n";
    for (const VerbOption& option : verb.options) Wrap(out, option.text, kOptionColumn, std::string("  ") + option.option);
  }
  if (!verb.examples.empty()) {
    out << "\n" << (verb.examples.size() == 1 ? "example:" : "examples:") << "\n";
    for (const char* example : verb.examples) out << "  " << example << "\n";
  }
}

void WriteManPage(std::ostream& out, const char* version, const char* date) {
  out << ".\\\" Made from the table of verbs of portwarden-cli; edit that, not this.\n"
      << ".TH PORTWARDEN-CLI 1 \"" << date << "\" \"portwarden-cli " << version << "\" \"User Commands\"\n"
      << ".SH NAME\nportwarden\\-cli \\- manage the Internet zone's script policy and site listings from the "
         "command line\n"
      << ".SH SYNOPSIS\n.B portwarden\\-cli\n.RB [ \\-\\-store\n.IR PATH ]\n.I VERB\n.RI [ ARGS ]\n.br\n"
      << ".B portwarden\\-cli\n.I VERB\n.B \\-\\-help\n.br\n"
      << ".B portwarden\\-cli help\n.RI [ VERB ]\n.br\n"
      << ".B portwarden\\-cli \\-\\-version\n"
      << ".SH DESCRIPTION\n"
      << Roff("portwarden-cli does from the command line what the window program portwarden(1) does: it "
              "switches the Internet zone between the locked-down, the prompting and the default policy profile "
              "and tells whether the zone is secured, semi-secured or unsecured; it lists, adds, reclassifies and "
              "deletes the site listings of the zone map; it prints the scripting privilege report; and it carries "
              "the settings to and from Windows machines as registry files and Group Policy files.")
      << "\n.PP\n"
      << Roff("On Linux the state is a store of its own, an SQLite file. Several programs may use one store at "
              "the same time. The arguments are checked before the store is opened, so a usage error never "
              "creates or changes a store.")
      << "\n.SH OPTIONS\n"
      << ".TP\n.BI \\-\\-store \" PATH\"\n"
      << Roff("The store to use. A path that does not exist is created when its folder exists, laid out as a "
              "fresh user profile; an existing file is used only when it is a Portwarden store.")
      << "\n.TP\n.B \\-\\-\n"
      << Roff("Ends the options: an address or file name after it may begin with -.") << "\n"
      << ".TP\n.B \\-\\-help\n" << Roff("The verb table; after a verb, that verb's help.") << "\n"
      << ".TP\n.B \\-\\-version\n" << Roff("The program's version.") << "\n"
      << ".SH VERBS\n";
  for (const Verb& verb : Verbs()) {
    // A subsection for each verb: its synopses, one a line, what it does, its
    // options and examples.
    out << ".SS " << Roff(verb.name) << "\n";
    bool firstSynopsis = true;
    for (const std::string& synopsis : Synopses(verb)) {
      std::string arguments = synopsis.substr(synopsis.find(verb.name) + std::strlen(verb.name));
      if (!firstSynopsis) out << ".br\n";
      firstSynopsis = false;
      out << "\\fB" << Roff(verb.name) << "\\fR" << (arguments.empty() ? "" : " \\fI" + Roff(arguments.substr(1)) + "\\fR")
          << "\n";
    }
    std::string summary = std::string(verb.summary) + ".";
    summary[0] = AsciiUpper(summary[0]);
    out << ".PP\n";
    RoffParagraphs(out, summary + (*verb.description ? std::string(" ") + verb.description : ""));
    for (const VerbOption& option : verb.options)
      out << ".TP\n.B \"" << Roff(option.option) << "\"\n" << Roff(option.text) << "\n";
    if (!verb.examples.empty()) {
      out << ".PP\n" << (verb.examples.size() == 1 ? "Example:" : "Examples:") << "\n.RS\n.nf\n";
      for (const char* example : verb.examples) out << Roff(example) << "\n";
      out << ".fi\n.RE\n";
    }
  }
  out << ".SH ENVIRONMENT\n"
      << ".TP\n.B PORTWARDEN_STORE\n"
      << Roff("The store to use when --store is not given.") << "\n"
      << ".TP\n.B XDG_DATA_HOME\n"
      << Roff("The folder of the default store, $XDG_DATA_HOME/portwarden/registry.db; "
              "~/.local/share when it is not set.")
      << "\n.SH FILES\n"
      << ".TP\n.I ~/.local/share/portwarden/registry.db\n"
      << Roff("The default store: the Internet zone's policy values, the zone map and the toolbar button's "
              "entry, as the Windows registry holds them.")
      << "\n.TP\n.I ~/.local/share/portwarden/st6unst.log\n"
      << Roff("The uninstall log beside the store: fourteen lines for each registered toolbar button, naming "
              "the key and the values written.")
      << "\n.TP\n.I STORE.policy/\n"
      << Roff("Beside the store, the browser policy files that enforce on keeps; the links to them are "
              "portwarden.json in managed/ and recommended/ of /etc/chromium/policies, "
              "/etc/opt/chrome/policies, /etc/opt/edge/policies and /etc/brave/policies, and Firefox's "
              "/usr/lib/mozilla/managed-storage/uBlock0@raymondhill.net.json.")
      << "\n.SH \"EXIT STATUS\"\n"
      << ".TP\n.B 0\nDone.\n"
      << ".TP\n.B 1\n" << Roff("Failed, with a message naming what failed and where.") << "\n"
      << ".TP\n.B 2\n" << Roff("A usage error: a line that names it, and where to find the verb's help.") << "\n"
      << ".TP\n.B 3\n" << Roff("An address was refused (add, parse), or not answered (zone).") << "\n"
      << ".SH EXAMPLES\n"
      << Roff("Secure the Internet zone, trust one site and see the list:") << "\n.PP\n.RS\n.nf\n"
      << Roff("portwarden-cli secure\nportwarden-cli add https://www.example.com --zone trusted\nportwarden-cli list")
      << "\n.fi\n.RE\n.PP\n"
      << Roff("Restrict every host of a blocklist, and undo it again:") << "\n.PP\n.RS\n.nf\n"
      << Roff("portwarden-cli restrict-hosts hosts.txt\nportwarden-cli restrict-hosts --undo hosts.txt")
      << "\n.fi\n.RE\n.PP\n"
      << Roff("Keep a backup of every setting and bring it back:") << "\n.PP\n.RS\n.nf\n"
      << Roff("portwarden-cli export backup.reg\nportwarden-cli import backup.reg") << "\n.fi\n.RE\n"
      << ".SH \"SEE ALSO\"\n.BR portwarden (1)\n";
}

}  // namespace pw::cli
