#include "Cli.h"

namespace pw::cli {

const std::vector<Verb>& Verbs() {
  static const std::vector<Verb> verbs = {
      {"status", "", "print the Internet zone's state: secured, semi-secured or unsecured", true, RunStatus},
      {"secure", "", "write the locked-down profile", true, RunSecure},
      {"prompt", "", "write the prompting profile", true, RunPrompt},
      {"default", "[--yes]", "write the default profile, after a confirmation", true, RunDefault},
  };
  return verbs;
}

}  // namespace pw::cli
