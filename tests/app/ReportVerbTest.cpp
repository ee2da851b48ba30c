// portwarden-cli report: the report of the rows as the window's list has them
// after a rebuild, as text, HTML and PDF, and on a printer that is not there.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "CliTestSupport.h"
#include "ZoneMap.h"
#include "report/ReportText.h"

#if defined(PW_HAVE_REPORT_DOCUMENT)
#include <filesystem>

#include "Process.h"
#include "TempDir.h"
#endif

namespace pw::test {
namespace {

class ReportVerbTest : public testing::Test {
 protected:
  ReportVerbTest() : map_(cli_.Store()) {
    map_.AddBase();
    // Written out of domain order: the report sorts as the list does.
    map_.SetZone("zeta.example", "*", 4);
    map_.SetZone("alpha.example\\www", "https", 2);
    map_.SetZone("mid.example", "http", 3);
  }

  CliHarness cli_;
  ZoneMap map_;
};

TEST_F(ReportVerbTest, TextIsTheReportOfTheRowsSortedByDomain) {
  CliResult run = cli_.Run({"report"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, ReportText({{"https", "www", "alpha.example", 2, 9},
                                 {"http", "", "mid.example", 3, 9},
                                 {"Default", "", "zeta.example", 4, 9}}));
  EXPECT_EQ(cli_.Run({"report", "--text"}).out, run.out);
}

#if defined(PW_HAVE_REPORT_DOCUMENT)
TEST_F(ReportVerbTest, PdfHoldsTheTextInEmbeddedFontsAndHtmlTheColours) {
  TempDir dir;
  std::string pdf = dir.File("report.pdf");
  CliResult run = cli_.Run({"report", "--pdf", pdf});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out + run.err, "");
  ProcessResult text = RunProcess("/usr/bin/pdftotext", {"-layout", pdf, "-"});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("Portwarden Scripting Privilege Report."), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("RESTRICTED           *://*.zeta.example"), std::string::npos) << text.out;
  ProcessResult fonts = RunProcess("/usr/bin/pdffonts", {pdf});
  ASSERT_EQ(fonts.code, 0) << fonts.err;
  for (const char* font : {"LiberationSans-Bold ", "LiberationMono ", "LiberationMono-Bold "})
    EXPECT_NE(fonts.out.find(font), std::string::npos) << fonts.out;
  std::istringstream lines(fonts.out);
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    std::istringstream words(line);
    std::vector<std::string> columns{std::istream_iterator<std::string>(words), {}};
    if (i < 2) continue;  // the header
    EXPECT_EQ(columns.at(columns.size() - 5), "yes") << "not embedded: " << line;  // "emb"
  }

  CliResult html = cli_.Run({"report", "--html"});
  ASSERT_EQ(html.code, 0) << html.err;
  for (const char* part : {"color:#00c000", "color:#ff8000", "color:#ff0000", "color:#0000ff", "tab-size: 0.5in"})
    EXPECT_NE(html.out.find(part), std::string::npos) << part;

  // "-" is standard output, not a file of that name.
  CliResult piped = cli_.Run({"report", "--pdf", "-"});
  ASSERT_EQ(piped.code, 0) << piped.err;
  EXPECT_EQ(piped.out.rfind("%PDF-", 0), 0u);
  EXPECT_EQ(piped.out.size(), ReadFileBytes(pdf).size());

  EXPECT_EQ(cli_.Run({"report", "--pdf", dir.File("no-folder/report.pdf")}).code, 1);
  EXPECT_EQ(cli_.Run({"report", "--html", "--text"}).code, 2);
}

TEST_F(ReportVerbTest, PdfReplacesALinkAtItsPathInsteadOfWritingThroughIt) {
  TempDir dir;
  WriteFileBytes(dir.File("owners.conf"), "not to be touched\n");
  std::filesystem::create_symlink(dir.File("owners.conf"), dir.File("report.pdf"));
  CliResult run = cli_.Run({"report", "--pdf", dir.File("report.pdf")});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(ReadFileBytes(dir.File("owners.conf")) == "not to be touched\n");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("report.pdf")));
  EXPECT_EQ(ReadFileBytes(dir.File("report.pdf")).substr(0, 5), "%PDF-");
}

TEST(ReportVerbProcess, PrintWithoutAPrinterFailsWithAMessage) {
  TempDir dir;
  ASSERT_EQ(RunProcess(PW_CLI_BINARY, {"--store", dir.File("store.db"), "default", "--yes"}, "",
                       {{"PORTWARDEN_STORE", ""}}).code, 0);
  ProcessResult run = RunProcess(PW_CLI_BINARY, {"--store", dir.File("store.db"), "report", "--print"}, "",
                                 {{"PORTWARDEN_STORE", ""}, {"CUPS_SERVER", dir.File("no-server.sock")}});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("portwarden-cli report: there is no default printer to print on\n"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");
}
#endif

}  // namespace
}  // namespace pw::test
