// The report's text, character for character.
#include <gtest/gtest.h>

#include "report/ReportText.h"

namespace pw {
namespace {

const std::string kHead =
    "\n\n\n\n\tPortwarden Scripting Privilege Report.\n\n"
    "\t\tPriviledge\t\t\tSite...                                 \n";

TEST(ReportText, AnEmptyListGivesTheTitleAndTheHeadingOnly) {
  EXPECT_EQ(ReportText({}), kHead);
  EXPECT_EQ(kReportTitle.size(), 38u);
}

TEST(ReportText, EachRowIsOneLineInListOrder) {
  std::vector<SiteRow> rows = {
      {"Default", "", "example.com", 2, 9},  // all protocols, the domain key itself
      {"http", "www", "example.com", 3, 0},
      {"https", "a.b", "example.org", 4, 0},
      {"ftp", "", "files.example", 1, 0},    // no tag, not even its two TABs
      {"", "", "bare.example", 0, 9},        // a key without a value
      {"default", "x", "case.example", 7, 0},  // only "Default" stands for all protocols
  };
  EXPECT_EQ(ReportText(rows), kHead +
                                  "\t\t[TRUSTED]\t\t\t*://*.example.com\n"
                                  "\t\t{LISTED}\t\t\thttp://www.example.com\n"
                                  "\t\tRESTRICTED\t\t\thttps://a.b.example.org\n"
                                  "\t\t\tftp://*.files.example\n"
                                  "\t\t\t://*.bare.example\n"
                                  "\t\t\tdefault://x.case.example\n");
}

}  // namespace
}  // namespace pw
