#include "Cli.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "registry/MemoryStore.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";
#if defined(_WIN32)
constexpr const char* kStoreSynopsis = "";  // the registry, always
#else
constexpr const char* kStoreSynopsis = "[--store PATH] ";
#endif

void PrintUsage(std::ostream& out) {
  out << "usage: " << kProgram << " " << kStoreSynopsis << "VERB [ARGS]\n\nverbs:\n";
  for (const Verb& verb : Verbs()) {
    std::string line = std::string("  ") + verb.name + (*verb.usage ? std::string(" ") + verb.usage : "");
    out << line;
    out << std::string(line.size() < 44 ? 44 - line.size() : 1, ' ') << verb.summary << "\n";
  }
  out << "\noptions:\n"
#if defined(_WIN32)
         "  (the store is the Windows registry)\n"
#else
         "  --store PATH    the store to use (default: $PORTWARDEN_STORE, else\n"
         "                  $XDG_DATA_HOME/portwarden/registry.db)\n"
#endif
         "  --help          this text\n"
         "  --version       the program's version\n"
         "\nexit codes: 0 done, 1 failed, 2 usage error, 3 address refused\n";
  out << "\n" << RegFileHelp();
}

}  // namespace

std::optional<std::string> Args::Option(const std::string& name) {
  std::optional<std::string> value;
  for (std::size_t i = 0; i < words_.size();) {
    if (words_[i] == name) {
      if (i + 1 >= words_.size()) throw UsageError{name + " needs a value"};
      value = words_[i + 1];
      words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i), words_.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    } else if (words_[i].rfind(name + "=", 0) == 0) {
      value = words_[i].substr(name.size() + 1);
      words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return value;
}

bool Args::Flag(const std::string& name) {
  bool found = false;
  for (std::size_t i = 0; i < words_.size();) {
    if (words_[i] == name) {
      found = true;
      words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return found;
}

std::vector<std::string> Args::Rest() {
  for (const std::string& word : words_)
    if (word.size() > 1 && word[0] == '-' && word != "-") throw UsageError{"unknown option " + word};
  return std::move(words_);
}

void Args::Done() {
  std::vector<std::string> rest = Rest();
  if (!rest.empty()) throw UsageError{"unexpected argument " + rest.front()};
}

MsgAnswer TerminalPrompter::MsgBox(const std::string& title, const std::string& text, MsgButtons buttons,
                                   MsgIcon) {
  env_.err << title << "\n" << text << "\n";
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (!env_.terminal) {
    env_.err << "(no terminal to answer on: taken as No)\n";
    return MsgAnswer::No;
  }
  env_.err << "[y/N] " << std::flush;
  std::string line;
  if (!std::getline(env_.in, line)) return MsgAnswer::No;
  return !line.empty() && (line[0] == 'y' || line[0] == 'Y') ? MsgAnswer::Yes : MsgAnswer::No;
}

namespace {

int RunVerb(std::vector<std::string> words, Environment& env) {
  std::string storeError;
  std::optional<std::string> storePath = TakeStoreOption(words, storeError);
  if (!storeError.empty()) {
    env.err << kProgram << ": " << storeError << "\n";
    PrintUsage(env.err);
    return kExitUsage;
  }
  if (words.empty()) {
    PrintUsage(env.err);
    return kExitUsage;
  }
  for (const std::string& word : words) {
    if (word == "--help" || word == "-h") {
      PrintUsage(env.out);
      return kExitOk;
    }
    if (word == "--version") {
      env.out << kProgram << " " << PW_VERSION << "\n";
      return kExitOk;
    }
  }
  const Verb* verb = nullptr;
  for (const Verb& candidate : Verbs())
    if (words[0] == candidate.name) verb = &candidate;
  if (!verb) {
    env.err << kProgram << ": unknown verb '" << words[0] << "'\n";
    PrintUsage(env.err);
    return kExitUsage;
  }
  words.erase(words.begin());
  Args args(std::move(words));

  // A verb that needs no store gets an empty one in memory: naming a store
  // must not create a file for it.
  OpenedStore opened;
  if (verb->needsStore) opened = env.openStore(storePath);
  else opened.store = std::make_unique<MemoryStore>();
  if (!opened.store) {
    env.err << kProgram << ": " << opened.error << "\n";
    return kExitFailure;
  }
  if (!opened.note.empty()) env.err << kProgram << ": " << opened.note << "\n";
  // A write the store could not make fails the run, whatever the verb printed.
  std::vector<StoreFailure> failures;
  opened.store->SetErrorSink([&](const StoreFailure& failure) { failures.push_back(failure); });
  Registry registry(*opened.store);
  Run run{env, *opened.store, registry, args};
  int code;
  try {
    code = verb->run(run);
  } catch (const UsageError& error) {
    env.err << kProgram << " " << verb->name << ": " << error.message << "\n"
            << "usage: " << kProgram << " " << kStoreSynopsis << verb->name
            << (*verb->usage ? std::string(" ") + verb->usage : "") << "\n";
    return kExitUsage;
  }
  if (!failures.empty()) {
    const StoreFailure& first = failures.front();
    env.err << kProgram << ": the store " << first.store << " failed (" << first.operation
            << "): " << first.reason << "\n";
    return kExitFailure;
  }
  return code;
}

}  // namespace

int RunCli(std::vector<std::string> words, Environment& env) {
  int code = RunVerb(std::move(words), env);
  // Output that did not reach its reader (a full disk, a closed output) is
  // no success.
  errno = 0;
  env.out.flush();
  if (!env.out) {
    int why = errno;
    env.err << kProgram << ": cannot write to standard output" << (why ? std::string(": ") + std::strerror(why) : "")
            << "\n";
    return kExitFailure;
  }
  return code;
}

}  // namespace pw::cli
