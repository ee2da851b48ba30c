#include "CliTestSupport.h"

#include "registry/ForwardingStore.h"

namespace pw::test {

CliResult CliHarness::Run(std::vector<std::string> args, const std::string& input, bool terminal) {
  std::istringstream given(input);
  std::istream in(inputBuffer ? inputBuffer : given.rdbuf());
  std::ostringstream out, collected;
  std::ostream err(errorBuffer ? errorBuffer : collected.rdbuf());
  if (errorBuffer) err.setf(std::ios::unitbuf);  // as the standard error stream is
  cli::Environment env{in, out, err};
  env.terminal = terminal;
  env.openStore = [this](const std::optional<std::string>&, StoreAccess) {
    // The run owns what it opens; hand it a view on the harness's store.
    OpenedStore opened;
    opened.store = wrap ? wrap(*store_) : std::make_unique<ForwardingStore>(*store_);
    return opened;
  };
  int code = cli::RunCli(std::move(args), env);
  return {code, out.str(), collected.str()};
}

}  // namespace pw::test
