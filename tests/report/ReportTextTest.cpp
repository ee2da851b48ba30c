// The report's text, character for character.
#include <gtest/gtest.h>

#include "report/ReportFormat.h"
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

// The rich text the native window prints: the runs' looks switch where the
// steps put them, and what RTF reserves or cannot hold as text is escaped.
TEST(ReportRtf, SwitchesLooksAtTheRunsAndEscapesTheText) {
  std::string rtf = ReportRtf({{"https", "", "caf\xC3\xA9{x}\\.example", 4, 0}});
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  // The heading bold Arial 10; on a line the tag bold red, the site blue but
  // black through the first dot after "//".
  EXPECT_NE(rtf.find("\\f0\\fs20\\b\\cf1 Priviledge\\tab \\tab \\tab Site..."), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\f1\\fs20\\b\\cf5 RESTRICTED\\f1\\fs20\\b0\\cf2 \\tab \\tab \\tab \\f1\\fs20\\b0\\cf1 "
                     "https://*.\\f1\\fs20\\b0\\cf2 caf\\u233?\\{x\\}\\\\.example\\par"),
            std::string::npos)
      << rtf;
  EXPECT_EQ(rtf.back(), '}');
}

}  // namespace
}  // namespace pw
