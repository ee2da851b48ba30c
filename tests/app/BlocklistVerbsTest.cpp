// portwarden-cli restrict-hosts: the options reach the blocklist logic and its
// outcome is printed; the logic itself is tested in tests/intake.
#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "ZoneMap.h"

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
  EXPECT_NE(result.out.find("would restrict ads.example (line 2: www.ads.example)\n"), std::string::npos) << result.out;
  EXPECT_FALSE(map.KeyExists("ads.example"));

  result = cli.Run({"restrict-hosts", "-", "--name", "ads list"}, list);
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(map.Zone("ads.example", "*"), 4u);
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

}  // namespace
}  // namespace pw::test
