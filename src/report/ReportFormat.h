// The report's fonts and colours, found in its text by seven steps: the
// title, the heading, everything after the heading, the protocol and host up
// to its first dot on each line, and each of the three tags. Every window
// formats the report by these runs: the Qt document merges them, the rich
// text of the native window is written from them.
#pragma once

#include <optional>
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

// What a run sets; what it leaves unset stays as earlier steps made it.
struct ReportStyle {
  std::optional<std::string> family;
  std::optional<int> points;
  std::optional<bool> bold;
  std::optional<ReportColour> colour;
};

// From `start` up to `end`, in UTF-16 code units of the text.
struct ReportRun {
  int start = 0;
  int end = 0;
  ReportStyle style;
};

// The runs of the seven steps over the report's text, in the order they are
// applied. `pump` runs between the matches of the finds.
std::vector<ReportRun> ReportRuns(std::u16string_view text, const EventPump& pump = {});

// How one character of the report looks once every run is merged in, as a
// document merges them. Before any run: Arial 10, black, not bold.
struct ReportLook {
  std::string family = "Arial";
  int points = 10;
  bool bold = false;
  ReportColour colour;
  bool operator==(const ReportLook&) const = default;
};
std::vector<ReportLook> ReportLooks(std::size_t length, const std::vector<ReportRun>& runs);

// The report of `rows` as rich text (RTF): the same text and runs, tab stops
// half an inch apart.
std::string ReportRtf(const std::vector<SiteRow>& rows, const EventPump& pump = {});
// The same for a text and the look of each of its characters.
std::string ReportRtf(std::u16string_view text, const std::vector<ReportLook>& looks);

std::u16string Utf16(std::string_view utf8);

// Why the report was not printed, as the user is told it.
std::string NoDefaultPrinterMessage();
std::string PrinterRefusedMessage(const std::string& printer, const std::string& reason);

}  // namespace pw
