#include "report/ReportFormat.h"

#include <algorithm>
#include <cstdio>

#include "report/ReportText.h"

namespace pw {
namespace {

// Finds over the text, with the line around a position looked up rather than
// searched, so that a long line with many finds costs no more than a short one.
class Finder {
 public:
  explicit Finder(std::u16string_view text) : text_(text) {
    for (std::size_t i = 0; i < text_.size(); ++i)
      if (text_[i] == u'\n') lineEnds_.push_back(static_cast<int>(i));
  }
  int Length() const { return static_cast<int>(text_.size()); }
  int Find(std::u16string_view needle, int from) const {
    if (from < 0) from = 0;
    std::size_t found = text_.find(needle, static_cast<std::size_t>(from));
    return found == std::u16string_view::npos ? -1 : static_cast<int>(found);
  }
  // Where the line holding `position` begins and where its line feed stands (-1: none).
  std::pair<int, int> Line(int position) const {
    auto end = std::lower_bound(lineEnds_.begin(), lineEnds_.end(), position);
    int before = end == lineEnds_.begin() ? -1 : *(end - 1);
    return {before + 1, end == lineEnds_.end() ? -1 : *end};
  }
  char16_t At(int position) const { return text_[static_cast<std::size_t>(position)]; }

 private:
  std::u16string_view text_;
  std::vector<int> lineEnds_;
};

ReportStyle Font(const char* family, int points, bool bold) {
  ReportStyle style;
  style.family = family;
  style.points = points;
  style.bold = bold;
  return style;
}

}  // namespace

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t code = 0xFFFD;
    std::size_t length = 1;
    if (c < 0x80) {
      code = c;
    } else if ((c >> 5) == 6 && i + 1 < utf8.size()) {
      code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu), length = 2;
    } else if ((c >> 4) == 14 && i + 2 < utf8.size()) {
      code = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu),
      length = 3;
    } else if ((c >> 3) == 30 && i + 3 < utf8.size()) {
      code = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 12) |
             ((static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(utf8[i + 3]) & 0x3Fu),
      length = 4;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

std::vector<ReportRun> ReportRuns(std::u16string_view text, const EventPump& pump) {
  std::vector<ReportRun> runs;
  auto apply = [&runs](int start, int end, ReportStyle style) {
    if (end > start) runs.push_back({start, end, std::move(style)});
  };
  Finder format(text);
  const std::u16string title = Utf16(kReportTitle);
  const std::u16string heading = Utf16(kReportHeading);
  const int length = format.Length();
  const int titleAt = format.Find(title, 0);
  const int headingAt = format.Find(heading, titleAt + static_cast<int>(title.size()) + 1);
  const int headingEnd = format.Line(headingAt).second;

  // Steps 1 to 3: title, heading, and everything after the heading.
  apply(titleAt, titleAt + static_cast<int>(title.size()), Font("Arial", 14, true));
  apply(headingAt, headingEnd, Font("Arial", 10, true));
  ReportStyle lines = Font("Courier New", 10, false);
  lines.colour = kReportSiteRgb;
  apply(headingEnd, length, lines);

  // Step 4: black from six characters before each "//" through the first dot
  // at or after that point. The run stays on the line of its "//", and the
  // next find starts past both the run and the "//", so the loop always moves
  // forward, also where a line has no dot after its "//".
  ReportStyle black;
  black.colour = kReportProtocolRgb;
  for (int from = 0;;) {
    const int slashes = format.Find(u"//", from);
    if (slashes < 0) break;
    if (pump) pump();
    auto [lineStart, lineEnd] = format.Line(slashes);
    if (lineEnd < 0) lineEnd = length;
    const int start = std::max(slashes - 6, lineStart);
    int end = start;
    while (end < lineEnd && format.At(end) != u'.') ++end;
    if (end < lineEnd) ++end;  // through the dot
    apply(start, end, black);
    from = std::max(end, slashes + 2);
  }

  // Steps 5 to 7: each tag bold in its colour, one tag after the other.
  for (std::size_t i = 0; i < std::size(kReportTags); ++i) {
    ReportStyle tag;
    tag.colour = kReportTagRgb[i];
    tag.bold = true;
    const std::u16string needle = Utf16(kReportTags[i]);
    for (int from = 0;;) {
      const int match = format.Find(needle, from);
      if (match < 0) break;
      if (pump) pump();
      from = match + static_cast<int>(needle.size());
      apply(match, from, tag);
    }
  }
  return runs;
}

std::vector<ReportLook> ReportLooks(std::size_t length, const std::vector<ReportRun>& runs) {
  std::vector<ReportLook> looks(length);
  for (const ReportRun& run : runs) {
    for (int i = std::max(run.start, 0); i < run.end && i < static_cast<int>(length); ++i) {
      ReportLook& look = looks[static_cast<std::size_t>(i)];
      if (run.style.family) look.family = *run.style.family;
      if (run.style.points) look.points = *run.style.points;
      if (run.style.bold) look.bold = *run.style.bold;
      if (run.style.colour) look.colour = *run.style.colour;
    }
  }
  return looks;
}

std::string ReportRtf(const std::vector<SiteRow>& rows, const EventPump& pump) {
  const std::u16string text = Utf16(ReportText(rows));
  return ReportRtf(text, ReportLooks(text.size(), ReportRuns(text, pump)));
}

std::string ReportRtf(std::u16string_view text, const std::vector<ReportLook>& looks) {
  std::vector<std::string> families = {"Arial", "Courier New"};
  std::vector<ReportColour> colours = {kReportProtocolRgb, kReportSiteRgb};
  for (const ReportColour& tag : kReportTagRgb) colours.push_back(tag);
  auto indexOf = [](auto& table, const auto& item) {
    auto found = std::find(table.begin(), table.end(), item);
    if (found == table.end()) found = table.insert(found, item);
    return static_cast<int>(found - table.begin());
  };
  for (const ReportLook& look : looks) indexOf(families, look.family), indexOf(colours, look.colour);

  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl";
  for (std::size_t i = 0; i < families.size(); ++i)
    rtf += "{\\f" + std::to_string(i) + (families[i] == "Courier New" ? "\\fmodern " : "\\fswiss ") + families[i] + ";}";
  rtf += "}{\\colortbl;";
  for (const ReportColour& colour : colours)
    rtf += "\\red" + std::to_string(colour.red) + "\\green" + std::to_string(colour.green) + "\\blue" +
           std::to_string(colour.blue) + ";";
  rtf += "}\n\\pard\\plain";
  const ReportLook* current = nullptr;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const ReportLook& look = looks[i];
    if (!current || !(*current == look)) {
      rtf += "\\f" + std::to_string(indexOf(families, look.family)) + "\\fs" + std::to_string(look.points * 2) +
             (look.bold ? "\\b" : "\\b0") + "\\cf" + std::to_string(indexOf(colours, look.colour) + 1) + " ";
      current = &look;
    }
    char16_t c = text[i];
    if (c == u'\n') rtf += "\\par\n";
    else if (c == u'\t') rtf += "\\tab ";
    else if (c == u'\\' || c == u'{' || c == u'}') (rtf += '\\') += static_cast<char>(c);
    else if (c >= 0x20 && c < 0x80) rtf += static_cast<char>(c);
    else rtf += "\\u" + std::to_string(static_cast<std::int16_t>(c)) + "?";
  }
  rtf += "}";
  return rtf;
}

std::string NoDefaultPrinterMessage() {
  return "There is no default printer, so the Portwarden Scripting Privilege Report cannot be printed.";
}

std::string PrinterRefusedMessage(const std::string& printer, const std::string& reason) {
  return "The printer \"" + printer + "\" did not take the Portwarden Scripting Privilege Report: " + reason;
}

}  // namespace pw
