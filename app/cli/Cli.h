// The command line: chooses the store, reads the arguments, runs the shared
// logic and prints. It adds no behaviour of its own.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "../common/StoreChoice.h"
#include "common/Prompter.h"
#include "registry/Registry.h"

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
  std::function<OpenedStore(const std::optional<std::string>&)> openStore = OpenChosenStore;
};

// Thrown by argument helpers; ends the run with exit code 2 and the usage text.
struct UsageError {
  std::string message;
};

// Arguments of one verb, with helpers to take its options.
class Args {
 public:
  explicit Args(std::vector<std::string> words) : words_(std::move(words)) {}
  // "--name VALUE" or "--name=VALUE"; nothing when absent.
  std::optional<std::string> Option(const std::string& name);
  // "--name" alone.
  bool Flag(const std::string& name);
  // What is left: positional words. Refuses any leftover "--option".
  std::vector<std::string> Rest();
  // Refuses anything left: for verbs without positional words.
  void Done();

 private:
  std::vector<std::string> words_;
};

// What a verb gets to work with.
struct Run {
  Environment& env;
  RegistryStore& store;
  Registry& registry;
  Args& args;
  std::string storeFolder;  // the store file's folder; empty for the platform's registry
};

struct Verb {
  const char* name;
  const char* usage;    // arguments after the verb, for the usage text
  const char* summary;  // one line
  bool needsStore;
  int (*run)(Run& run);
};

// The table of verbs (see Verbs.cpp).
const std::vector<Verb>& Verbs();

int RunCli(std::vector<std::string> args, Environment& env);

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

// Verbs of registry files.
int RunImport(Run& run);
int RunExport(Run& run);
// Verbs of the browser integration.
int RunRegisterButton(Run& run);
int RunOpenPages(Run& run);
// Keeping the zone map as the browsers' script policy.
int RunEnforce(Run& run);

// How registry files travel between Windows and this program, for the usage text.
const char* RegFileHelp();

}  // namespace pw::cli
