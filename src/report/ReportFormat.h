// The report's fonts and colours, found in its text by seven steps: the
// title, the heading, everything after the heading, the protocol and host up
// to its first dot on each line, and each of the three tags. Every window
// formats the report by their outcome, the kind of run each character ends
// up in: the Qt pages lay each run out in its final format, as the HTML
// page's document sets it once; the native window's rich text and page
// drawing take each run's look.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "listings/SiteList.h"

namespace pw {

struct ReportColour {
  int red = 0, green = 0, blue = 0;
  bool operator==(const ReportColour&) const = default;
};
inline constexpr ReportColour kReportSiteRgb{0, 0, 255};      // the rest of each line
inline constexpr ReportColour kReportProtocolRgb{0, 0, 0};    // protocol, "://" and host up to its first dot
inline constexpr ReportColour kReportTagRgb[] = {{0, 192, 0}, {255, 128, 0}, {255, 0, 0}};

// The run a character ends up in; kReportTag + i for the i-th tag of kReportTags.
enum ReportKind : std::uint8_t {
  kReportPlain,    // before the title and between it and the heading: the document's default
  kReportTitle_,   // Arial 14 bold
  kReportHeading_, // Arial 10 bold
  kReportLines,    // after the heading: Courier New 10, blue
  kReportBlack,    // the same, black
  kReportTag,      // the same, bold in the tag's colour
};
inline constexpr int kReportKinds = kReportTag + 3;

// The steps' outcome for every UTF-16 code unit of the report's text, and
// where the heading's line ends (the lines' run starts there). `pump` runs
// between the matches of the finds.
struct ReportMarkup {
  std::vector<std::uint8_t> kinds;
  int title = -1;       // where the title starts, -1: nowhere
  int heading = -1;     // where the heading starts
  int headingEnd = 0;   // where the heading's line feed stands
};
ReportMarkup MarkReport(std::u16string_view text, const EventPump& pump = {});

// How a kind of run looks; the default is Arial 10, black, not bold.
struct ReportLook {
  const char* family = "Arial";
  int points = 10;
  bool bold = false;
  ReportColour colour;
};
ReportLook LookOf(int kind);

// The report's text as UTF-16, the code units the steps count.
std::u16string Utf16(std::string_view utf8);

// The report of `rows` as rich text (RTF): its text in the runs' looks, tab
// stops half an inch apart.
std::string ReportRtf(const std::vector<SiteRow>& rows, const EventPump& pump = {});
std::string ReportRtf(std::u16string_view text, const ReportMarkup& markup);

// Why the report was not printed, as the user is told it.
std::string NoDefaultPrinterMessage();
std::string PrinterRefusedMessage(const std::string& printer, const std::string& reason);

}  // namespace pw
