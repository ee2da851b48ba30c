// The command line: chooses the store, reads the arguments, runs the shared
// logic and prints. It adds no behaviour of its own.
#pragma once

#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storechoice/StoreChoice.h"
#include "common/Prompter.h"
#include "registry/Registry.h"

namespace pw {
struct ImportPlan;
struct RegFile;
}  // namespace pw

namespace pw::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;  // an address was refused

struct Environment {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool terminal = false;  // standard input is a terminal a question can be asked on
  // Opens the store named by --store (or the default); tests pass a memory store.
  std::function<OpenedStore(const std::optional<std::string>&, StoreAccess)> openStore = OpenChosenStore;
};

// Thrown by argument helpers; ends the run with exit code 2 and the usage text.
struct UsageError {
  std::string message;
};

// Arguments of one verb, with helpers to take its options. A word "--" ends
// the options: every word after it is positional, even one starting with "-".
class Args {
 public:
  explicit Args(std::vector<std::string> words);
  // "--name VALUE" or "--name=VALUE"; nothing when absent.
  std::optional<std::string> Option(const std::string& name);
  // "--name" alone.
  bool Flag(const std::string& name);
  // What is left: positional words. Refuses any leftover "--option".
  std::vector<std::string> Rest();
  // Refuses anything left: for verbs without positional words.
  void Done();

 private:
  std::vector<std::string> words_;     // options and positional words before "--"
  std::vector<std::string> literal_;  // the words after "--"
};

// What a verb gets to work with. A verb takes all its arguments before it
// opens the store: a usage error then never creates or changes a store file.
class Run {
 public:
  Run(Environment& env, Args& args, std::function<OpenedStore(StoreAccess)> open)
      : env(env), args(args), open_(std::move(open)) {}
  Environment& env;
  Args& args;
  // Opens the chosen store, once. Read is for a verb (or a mode of one, a dry
  // run) that only reads: a store that does not exist is then not created.
  // Null when it cannot be opened; why is printed, and the verb ends with
  // kExitFailure.
  RegistryStore* OpenStore(StoreAccess access = StoreAccess::Write);
  // The opened store, and its keys; only after OpenStore succeeded.
  RegistryStore& Store();
  pw::Registry& Registry();
  // The store file's folder; empty for the platform's registry.
  const std::string& StoreFolder() const { return opened_.folder; }

 private:
  std::function<OpenedStore(StoreAccess)> open_;
  OpenedStore opened_;
  bool tried_ = false;
  std::optional<pw::Registry> registry_;
};

// One option of a verb for its help: the option as written ("--zone Z") and
// what it does.
struct VerbOption {
  const char* option;
  const char* text;
};

struct Verb {
  const char* name;
  const char* usage;    // arguments after the verb, for the usage text
  const char* summary;  // one line
  bool needsStore;
  int (*run)(Run& run);
  // For the verb's own help and the manual: what it does, in sentences; its
  // options; and command lines to copy.
  const char* description = "";
  std::vector<VerbOption> options = {};
  std::vector<const char*> examples = {};
};

// The table of verbs (see Verbs.cpp), and the one named `name` (null when
// there is none).
const std::vector<Verb>& Verbs();
const Verb* FindVerb(std::string_view name);

// The help: the verb table with the common options, and one verb's synopsis,
// description, options and examples.
void PrintUsage(std::ostream& out);
void PrintVerbHelp(std::ostream& out, const Verb& verb);
// The manual page of portwarden-cli in roff, from the same table.
void WriteManPage(std::ostream& out, const char* version, const char* date);

// "1 key", "2 keys": a count with its noun in agreement.
std::string Counted(std::size_t count, const char* one, const char* many);

int RunCli(std::vector<std::string> args, Environment& env);

// A JSON string. Valid UTF-8 passes through; a byte that is not part of a
// valid sequence is written as the character of the same number, so that every
// output is valid JSON and distinct bytes stay distinct.
std::string JsonString(std::string_view text);

// A question on the terminal: the title, the text and "[y/N]"; Yes only for an
// answer starting with y or Y. OK messages are printed to the error stream.
class TerminalPrompter : public Prompter {
 public:
  explicit TerminalPrompter(Environment& env) : env_(env) {}
  MsgAnswer MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                   MsgIcon icon) override;

 private:
  Environment& env_;
};

// Verbs of the zone policy.
int RunStatus(Run& run);
int RunSecure(Run& run);
int RunPrompt(Run& run);
int RunDefault(Run& run);

// Verbs of the site listings and the address intake.
int RunList(Run& run);
int RunParse(Run& run);
int RunAdd(Run& run);
int RunSet(Run& run);
int RunDelete(Run& run);
int RunZone(Run& run);
int RunRestrictHosts(Run& run);  // BlocklistVerbs.cpp

// The scripting privilege report.
extern const char* const kReportUsage;
int RunReport(Run& run);

// Verbs of registry files.
int RunImport(Run& run);
int RunExport(Run& run);
// Verbs of the browser integration.
int RunRegisterButton(Run& run);
int RunOpenPages(Run& run);
// Keeping the zone map as the browsers' script policy.
int RunEnforce(Run& run);
// What this program adds to a failure of what follows a write: the command
// that brings the browsers' policy back in step; empty for any other failure.
std::string AfterWriteHint(Run& run, const StoreFailure& failure);


// Group Policy files, for import and export --policy (PolicyVerbs.cpp).
int ImportPolicy(Run& run, const std::string& bytes, const std::string& shown, bool dryRun);
int ExportPolicyFile(Run& run, const std::string& file, bool listText);

// Lines for the error stream, which writes through at every insertion: they
// are gathered and written 64 KiB at a time, so that a million of them cost a
// few hundred writes and little memory.
class LineBatch {
 public:
  explicit LineBatch(std::ostream& out) : out_(out) {}
  ~LineBatch() { Flush(); }
  LineBatch(const LineBatch&) = delete;
  LineBatch& operator=(const LineBatch&) = delete;
  void Add(const std::string& line) {
    text_ += line;
    if (text_.size() >= (std::size_t{1} << 16)) Flush();
  }
  void Flush() {
    out_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.clear();
  }

 private:
  std::ostream& out_;
  std::string text_;
};

// Shared by the file verbs: the whole input ("-": standard input), the output
// written whole ("-": standard output), the stream a summary goes to (the
// error stream when the output is standard output), a file's name in messages,
// and an import plan printed for a dry run. The first two print what failed.
bool ReadInput(Run& run, const std::string& file, std::string& bytes, std::size_t limit);

// The most an input file may hold: many times the largest of its kind (a
// registry export of every zone setting, a domain's policy, the largest
// published blocklists), and little enough to be read without running short
// of memory.
inline constexpr std::size_t kMaxRegFileSize = std::size_t{32} << 20;
inline constexpr std::size_t kMaxPolicyFileSize = std::size_t{32} << 20;
inline constexpr std::size_t kMaxBlocklistSize = std::size_t{64} << 20;
bool WriteOutput(Run& run, const std::string& file, const std::string& bytes);
std::ostream& Summary(Run& run, const std::string& file);
std::string ShownName(const std::string& file, const char* standardStream);
bool PrintPlan(Run& run, const RegFile& file, const ImportPlan& plan);

}  // namespace pw::cli
