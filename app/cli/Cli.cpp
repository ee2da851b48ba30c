#include "Cli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>

#include "registry/ForwardingStore.h"
#include "registry/MemoryStore.h"
#include "registry/Utf8.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";
#if defined(_WIN32)
constexpr const char* kStoreSynopsis = "";  // the registry, always
#else
constexpr const char* kStoreSynopsis = "[--store PATH] ";
#endif

// The usage text's verb table: summaries start in this column and wrap before
// the line width.
constexpr std::size_t kSummaryColumn = 28;
constexpr std::size_t kLineWidth = 80;

void PrintUsage(std::ostream& out) {
  out << "usage: " << kProgram << " " << kStoreSynopsis << "VERB [ARGS]\n\nverbs:\n";
  for (const Verb& verb : Verbs()) {
    // A synopsis too wide for the line breaks before a " | " alternative (and
    // one alternative too wide for a line of its own, before an option in
    // brackets), the rest indented under the verb's arguments.
    std::string line = std::string("  ") + verb.name;
    std::string usage = verb.usage;
    std::string indent(line.size() + 1, ' ');
    bool wrapped = false;
    for (std::size_t start = 0; *verb.usage && start <= usage.size();) {
      std::size_t bar = usage.find(" | ", start);
      std::string alternative = usage.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
      std::vector<std::string> parts;
      for (std::size_t from = 0; from <= alternative.size();) {
        std::size_t option = indent.size() + 2 + alternative.size() > kLineWidth ? alternative.find(" [", from + 1)
                                                                                  : std::string::npos;
        parts.push_back(alternative.substr(from, option == std::string::npos ? std::string::npos : option - from));
        if (option == std::string::npos) break;
        from = option + 1;
      }
      for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string separator = i > 0 || start == 0 ? " " : " | ";
        if ((start == 0 && i == 0) || line.size() + separator.size() + parts[i].size() <= kLineWidth) {
          line += separator + parts[i];
        } else {
          out << line << "\n";
          line = indent + (i > 0 ? "  " : "| ") + parts[i];
          wrapped = true;
        }
      }
      if (bar == std::string::npos) break;
      start = bar + 3;
    }
    // A long synopsis puts its summary on a line of its own, in the column.
    if (wrapped || line.size() + 2 > kSummaryColumn) {
      out << line << "\n";
      line.clear();
    }
    std::istringstream words(verb.summary);
    std::string word;
    bool first = true;
    while (words >> word) {
      if (!first && line.size() + 1 + word.size() >= kLineWidth) {
        out << line << "\n";
        line.clear();
        first = true;
      }
      if (first) line.resize(kSummaryColumn, ' ');
      else line += ' ';
      line += word;
      first = false;
    }
    out << line << "\n";
  }
  out << "\noptions:\n"
#if defined(_WIN32)
         "  (the store is the Windows registry)\n"
#else
         "  --store PATH    the store to use (default: $PORTWARDEN_STORE, else\n"
         "                  $XDG_DATA_HOME/portwarden/registry.db)\n"
#endif
         "  --              ends the options: an ADDRESS or FILE after it may start with -\n"
         "  --help          this text\n"
         "  --version       the program's version\n"
         "\nexit codes: 0 done, 1 failed, 2 usage error, 3 address refused\n";
  out << "\n" << RegFileHelp() << "\n" << PolicyHelp();
}

// The chosen store, opened when it is first used; a store that cannot be
// opened ends the run (StoreUnavailable).
class StoreOnFirstUse : public ForwardingStore {
 public:
  explicit StoreOnFirstUse(std::function<OpenedStore()> open) : open_(std::move(open)) {}
  RegistryStore& Target() const override {
    if (!opened_.store) {
      opened_ = open_();
      if (!opened_.store) throw StoreUnavailable{opened_.error};
    }
    return *opened_.store;
  }
  std::string Folder() const {
    Target();
    return opened_.folder;
  }

 private:
  std::function<OpenedStore()> open_;
  mutable OpenedStore opened_;
};

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    char32_t decoded;
    std::size_t length = DecodeUtf8(text, i, decoded);
    bool valid = length > 0;
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    }
  }
  return out + "\"";
}

Args::Args(std::vector<std::string> words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") {
      literal_.assign(std::make_move_iterator(words.begin() + static_cast<std::ptrdiff_t>(i) + 1),
                      std::make_move_iterator(words.end()));
      break;
    }
    words_.push_back(std::move(words[i]));
  }
}

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
    if (word.size() > 1 && word[0] == '-') throw UsageError{"unknown option " + word};
  std::vector<std::string> rest = std::move(words_);
  rest.insert(rest.end(), std::make_move_iterator(literal_.begin()), std::make_move_iterator(literal_.end()));
  return rest;
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
    if (word == "--") break;
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

  // A write the store could not make fails the run, whatever the verb printed.
  std::vector<StoreFailure> failures;
  auto sink = [&](const StoreFailure& failure) { failures.push_back(failure); };
  // A verb that needs no store gets an empty one in memory: naming a store
  // must not create a file for it. Any other verb opens the chosen store when
  // it first uses it, after taking its arguments.
  std::unique_ptr<RegistryStore> memory;
  std::unique_ptr<StoreOnFirstUse> chosen;
  if (verb->needsStore) {
    chosen = std::make_unique<StoreOnFirstUse>([&env, &storePath, &sink] {
      OpenedStore opened = env.openStore(storePath);
      if (opened.store) {
        if (!opened.note.empty()) env.err << kProgram << ": " << opened.note << "\n";
        opened.store->SetErrorSink(sink);
      }
      return opened;
    });
  } else {
    memory = std::make_unique<MemoryStore>();
  }
  RegistryStore& store = chosen ? static_cast<RegistryStore&>(*chosen) : *memory;
  Registry registry(store);
  Run run{env, store, registry, args, [&chosen] { return chosen ? chosen->Folder() : std::string(); }};
  int code;
  try {
    code = verb->run(run);
  } catch (const UsageError& error) {
    env.err << kProgram << " " << verb->name << ": " << error.message << "\n"
            << "usage: " << kProgram << " " << kStoreSynopsis << verb->name
            << (*verb->usage ? std::string(" ") + verb->usage : "") << "\n";
    return kExitUsage;
  } catch (const StoreUnavailable& error) {
    env.err << kProgram << ": " << error.message << "\n";
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    // A transaction under way was rolled back on the way out.
    env.err << kProgram << " " << verb->name << ": not enough memory to finish; nothing more was written\n";
    return kExitFailure;
  }
  if (!failures.empty()) {
    const StoreFailure& first = failures.front();
    if (first.afterWrite)
      env.err << kProgram << ": the change is saved in the store " << first.store << ", but " << first.operation
              << " is not in step with it: " << ShownText(first.reason) << "\n";
    else
      env.err << kProgram << ": the store " << first.store << " failed (" << first.operation
            << "): " << ShownText(first.reason) << "\n";
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
