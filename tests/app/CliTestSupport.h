// Running the command line in-process on a store the test owns.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "registry/MemoryStore.h"

namespace pw::test {

struct CliResult {
  int code;
  std::string out;
  std::string err;
};

// A store shared by several runs, as a file is shared by several processes.
class CliHarness {
 public:
  // Runs with `input` as standard input; `terminal` says whether it is one.
  CliResult Run(std::vector<std::string> args, const std::string& input = "", bool terminal = false);
  RegistryStore& Store() { return *store_; }

 private:
  std::unique_ptr<RegistryStore> store_ = std::make_unique<MemoryStore>();
};

}  // namespace pw::test
