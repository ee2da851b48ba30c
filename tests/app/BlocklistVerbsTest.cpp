// portwarden-cli restrict-hosts: the options reach the blocklist logic and its
// outcome is printed; the logic itself is tested in tests/intake.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "CliTestSupport.h"
#include "TempDir.h"
#include "ZoneMap.h"
#include "regfile/GroupPolicy.h"
#include "regfile/PolicyFile.h"

namespace pw::test {
namespace {

TEST(BlocklistVerbs, AppliesListsAndUndoesFromStandardInput) {
  CliHarness cli;
  ZoneMap map(cli.Store());
  const std::string list = "# ads\r\n0.0.0.0 www.ads.example\r\n0.0.0.0 10.0.0.1\r\n";

  CliResult result = cli.Run({"restrict-hosts", "-"}, list);
  EXPECT_EQ(result.code, 2);  // standard input has no name of its own
  EXPECT_FALSE(map.KeyExists("ads.example"));

  result = cli.Run({"restrict-hosts", "-", "--name", "ads list", "--dry-run"}, list);
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("would restrict ads.example\\www (line 2: www.ads.example)\n"), std::string::npos)
      << result.out;
  EXPECT_FALSE(map.KeyExists("ads.example"));
  result = cli.Run({"restrict-hosts", "-", "--name", "ads list", "--generalise", "--dry-run"}, list);
  EXPECT_NE(result.out.find("would restrict ads.example (line 2: www.ads.example)\n"
                            "  widened from www.ads.example to every site of ads.example\n"),
            std::string::npos)
      << result.out;

  result = cli.Run({"restrict-hosts", "-", "--name", "ads list"}, list);
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(map.Zone("ads.example\\www", "*"), 4u);
  EXPECT_NE(result.err.find("standard input line 3: \"10.0.0.1\" refused"), std::string::npos) << result.err;
  EXPECT_NE(result.out.find("1 host accepted (1 listing), 1 refused"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("--undo 'ads list'\n"), std::string::npos) << result.out;

  result = cli.Run({"restrict-hosts", "--list"});
  EXPECT_NE(result.out.find("ads list        1        0  "), std::string::npos) << result.out;

  result = cli.Run({"restrict-hosts", "--undo", "ads list"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("undone: 1 listing removed"), std::string::npos) << result.out;
  EXPECT_FALSE(map.KeyExists("ads.example"));
  EXPECT_EQ(cli.Run({"restrict-hosts", "--undo", "ads list"}).code, 1);  // nothing of that name any more
}


TEST(BlocklistVerbs, NamesFromFilesAreShownWithTheirControlsEscaped) {
  CliHarness cli;
  // A refused host that would clear the screen and forge a line of its own.
  CliResult run = cli.Run({"restrict-hosts", "-", "--name", "x"},
                          "0.0.0.0 a\x1b[2Jb\r\nimported 1 listings\n0.0.0.0 ads.example.com\n");
  EXPECT_EQ(run.err.find_first_of("\x1b\r"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\"a\\x1b[2Jb\" refused"), std::string::npos) << run.err;
  // A site name of a policy file.
  PolicyFile policy;
  std::string data;
  PolicyText("2", data);
  policy.entries.push_back({kPolicySiteListPath, "\x1b]0;owned\x07\r\nimported 9 listings", REG_SZ, data, 0});
  std::string bytes;
  Result written = WritePolicyFile(policy, bytes);
  ASSERT_TRUE(written.Ok()) << written.Message();
  TempDir dir;
  WriteFileBytes(dir.File("Registry.pol"), bytes);
  run = cli.Run({"import", "--policy", dir.File("Registry.pol")});
  EXPECT_EQ(run.err.find_first_of("\x1b\x07\r"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

// Gives its text, then fails as a device does.
class FailingInput : public std::streambuf {
 public:
  explicit FailingInput(std::string text) : text_(std::move(text)) {}
  int_type underflow() override {
    if (given_) throw std::runtime_error("input/output error");
    given_ = true;
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return traits_type::to_int_type(text_[0]);
  }

 private:
  std::string text_;
  bool given_ = false;
};

TEST(BlocklistVerbs, AnInputThatFailsOrNeverEndsIsRefusedWhole) {
  CliHarness cli;
  ZoneMap map(cli.Store());
  FailingInput failing("0.0.0.0 ads.example.com\n");
  cli.inputBuffer = &failing;
  CliResult run = cli.Run({"restrict-hosts", "-", "--name", "x"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("cannot read standard input: a read failed"), std::string::npos) << run.err;
  EXPECT_FALSE(map.KeyExists("example.com"));
  cli.inputBuffer = nullptr;
#if !defined(_WIN32)
  run = cli.Run({"import", "/dev/zero"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("cannot read /dev/zero: it holds more than 32 MiB"), std::string::npos) << run.err;
#endif
}

TEST(BlocklistVerbs, AListNamedLikeAnOptionIsUndoneAsTheHintSays) {
  CliHarness cli;
  CliResult run = cli.Run({"restrict-hosts", "-", "--name=--list"}, "0.0.0.0 ads.example.com\n");
  ASSERT_EQ(run.code, 0) << run.err;
  std::string hint = run.out.substr(run.out.find("undo with: portwarden-cli ") + 26);
  EXPECT_EQ(hint, "restrict-hosts --undo=--list\n");
  run = cli.Run({"restrict-hosts", "--undo=--list"});
  EXPECT_EQ(run.code, 0) << run.err;
}

// Counts what reaches the terminal: each flush is a write of its own.
class CountingOutput : public std::streambuf {
 public:
  int syncs = 0;
  int sync() override { return ++syncs, 0; }
  int_type overflow(int_type c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

TEST(BlocklistVerbs, RefusalsReachTheErrorStreamInOneWrite) {
  CliHarness cli;
  CountingOutput terminal;
  cli.errorBuffer = &terminal;
  std::string list;
  for (int i = 0; i < 1000; ++i) list += "0.0.0.0 203.0.113." + std::to_string(i % 250) + "\n";
  list += "0.0.0.0 ads.example.com\n";
  EXPECT_EQ(cli.Run({"restrict-hosts", "-", "--name", "x"}, list).code, 0);
  EXPECT_LT(terminal.syncs, 20);
}

}  // namespace
}  // namespace pw::test
