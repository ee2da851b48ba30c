#include "Cli.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>

#include "registry/MemoryStore.h"
#include "registry/Utf8.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";

}  // namespace

RegistryStore* Run::OpenStore(StoreAccess access) {
  if (!tried_) {
    tried_ = true;
    opened_ = open_(access);
    if (opened_.store) registry_.emplace(*opened_.store);
    else env.err << kProgram << ": " << opened_.error << "\n";
  }
  return opened_.store.get();
}

RegistryStore& Run::Store() {
  // A verb that uses the store before opening it is a fault of this program.
  if (!opened_.store) std::abort();
  return *opened_.store;
}

pw::Registry& Run::Registry() {
  if (!registry_) std::abort();
  return *registry_;
}

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

// A usage error: one line naming it, and where the help is.
int UsageFailure(Environment& env, const Verb* verb, const std::string& message) {
  std::string who = verb ? std::string(kProgram) + " " + verb->name : kProgram;
  env.err << who << ": " << message << "\n"
          << "see '" << who << " --help'\n";
  return kExitUsage;
}

int RunVerb(std::vector<std::string> words, Environment& env) {
  std::string storeError;
  std::optional<std::string> storePath = TakeStoreOption(words, storeError);
  if (!storeError.empty()) return UsageFailure(env, nullptr, storeError);
  if (words.empty()) return UsageFailure(env, nullptr, "give a verb");
  // Before the verb: the program's own options. After it, --help is the verb's.
  const std::string& first = words[0];
  if (first == "--help" || first == "-h") {
    PrintUsage(env.out);
    return kExitOk;
  }
  if (first == "--version") {
    env.out << kProgram << " " << PW_VERSION << "\n";
    return kExitOk;
  }
  if (first == "help") {
    if (words.size() == 1) {
      PrintUsage(env.out);
      return kExitOk;
    }
    const Verb* verb = FindVerb(words[1]);
    if (!verb) return UsageFailure(env, nullptr, "there is no verb '" + words[1] + "'");
    if (words.size() > 2) return UsageFailure(env, nullptr, "help takes one verb");
    PrintVerbHelp(env.out, *verb);
    return kExitOk;
  }
  const Verb* verb = FindVerb(first);
  if (!verb) {
    std::string why = first.size() > 1 && first[0] == '-' ? "unknown option " + first : "unknown verb '" + first + "'";
    return UsageFailure(env, nullptr, why);
  }
  for (std::size_t i = 1; i < words.size() && words[i] != "--"; ++i) {
    if (words[i] == "--help" || words[i] == "-h") {
      PrintVerbHelp(env.out, *verb);
      return kExitOk;
    }
  }
  words.erase(words.begin());
  Args args(std::move(words));

  // A write the store could not make fails the run, whatever the verb printed.
  std::vector<StoreFailure> failures;
  auto sink = [&](const StoreFailure& failure) { failures.push_back(failure); };
  // A verb that needs no store gets an empty one in memory: naming a store
  // must not create a file for it.
  Run run(env, args, [&env, &storePath, &sink, needsStore = verb->needsStore](StoreAccess access) {
    if (!needsStore) return OpenedStore{std::make_unique<MemoryStore>(), "", "", ""};
    OpenedStore opened = env.openStore(storePath, access);
    if (opened.store) {
      if (!opened.note.empty()) env.err << kProgram << ": " << opened.note << "\n";
      opened.store->SetErrorSink(sink);
    }
    return opened;
  });
  int code;
  try {
    code = verb->run(run);
  } catch (const UsageError& error) {
    return UsageFailure(env, verb, error.message);
  } catch (const std::bad_alloc&) {
    // A transaction under way was rolled back on the way out.
    env.err << kProgram << " " << verb->name << ": not enough memory to finish; nothing more was written\n";
    return kExitFailure;
  }
  if (!failures.empty()) {
    StoreFailure first = failures.front();  // a copy: reading for the hint may add failures
    if (first.afterWrite)
      env.err << kProgram << ": " << AfterWriteFailureText(first, ShownText(first.reason))
              << ShownText(AfterWriteHint(run, first)) << "\n";
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
