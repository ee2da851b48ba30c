// portwarden-cli zone: the answer for each address, as text and as JSON.
#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "ZoneMap.h"

namespace pw::test {
namespace {

TEST(ZoneQueryVerb, PrintsEachAddressesZoneAndTheListingThatDecides) {
  CliHarness cli;
  ZoneMap(cli.Store()).SetZone("example.com\\www", "https", 4);
  CliResult run =
      cli.Run({"zone", "www.example.com", "-"}, "https://www.example.com/x\n\nmailto:a@b.c\n");
  EXPECT_EQ(run.code, 3);  // one address was not answered
  EXPECT_EQ(run.out, "http://www.example.com\t3\tInternet\tnot listed; HKEY_CURRENT_USER\\" +
                         ZoneMap::Path("example.com\\www") +
                         " matches the host but holds neither \"http\" nor \"*\"\n"
                         "https://www.example.com/x\t4\tRestricted\tlisted by HKEY_CURRENT_USER\\" +
                         ZoneMap::Path("example.com\\www") +
                         ", value \"https\"\n"
                         "mailto:a@b.c\t-\t-\tnot answered: Portwarden answers for http, https and "
                         "ftp addresses only\n");

  run = cli.Run({"zone", "--format", "json", "https://www.example.com/"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find(",\"reason\"")),
            "{\"address\":\"https://www.example.com/"
            "\",\"verdict\":\"listed\",\"zone\":4,\"name\":\"Restricted\","
            "\"hive\":\"HKEY_CURRENT_USER\",\"key\":" +
                std::string("\"") +
                "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Internet Settings\\\\ZoneMap"
                "\\\\Domains\\\\example.com\\\\www\",\"value\":\"https\"");
}

}  // namespace
}  // namespace pw::test
