// Running the command line in-process on a store the test owns.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "registry/ForwardingStore.h"
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
  // What each run sees in place of the store, to inject faults.
  std::function<std::unique_ptr<RegistryStore>(RegistryStore&)> wrap;
  // When set, standard input reads from it instead of `input`; the error
  // stream, when set, writes to it.
  std::streambuf* inputBuffer = nullptr;
  std::streambuf* errorBuffer = nullptr;

 private:
  std::unique_ptr<RegistryStore> store_ = std::make_unique<MemoryStore>();
};

// A store whose medium fails the chosen operations, as a full disk does.
struct FailingStore : ForwardingStore {
  using ForwardingStore::ForwardingStore;
  LONG RegSetValueExA(HKEY k, RegName n, DWORD r, DWORD t, const BYTE* d, DWORD c) override {
    return failWrites ? Failed("RegSetValueExA", ERROR_DISK_FULL) : ForwardingStore::RegSetValueExA(k, n, r, t, d, c);
  }
  LONG RegDeleteValueA(HKEY k, RegName n) override {
    return failDeletes ? Failed("RegDeleteValueA", ERROR_DISK_FULL) : ForwardingStore::RegDeleteValueA(k, n);
  }
  LONG BeginTransaction() override { return failTransactions ? ERROR_BUSY : ForwardingStore::BeginTransaction(); }
  LONG Failed(const char* operation, LONG status) {
    ReportFailure({Describe(), operation, "disk full", status});
    return status;
  }
  bool failWrites = false, failDeletes = false, failTransactions = false;
};

}  // namespace pw::test
