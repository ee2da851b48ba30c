#include "report/ReportFormat.h"

#include <algorithm>
#include <cstdio>

#include "report/ReportText.h"

namespace pw {

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

ReportMarkup MarkReport(std::u16string_view text, const EventPump& pump) {
  const int size = static_cast<int>(text.size());
  ReportMarkup markup;
  markup.kinds.assign(text.size(), kReportPlain);
  auto find = [&](std::u16string_view needle, int from) {
    std::size_t found = text.find(needle, static_cast<std::size_t>(std::max(from, 0)));
    return found == std::u16string_view::npos ? -1 : static_cast<int>(found);
  };
  auto mark = [&](int start, int end, std::uint8_t kind) {
    if (start >= 0 && end > start) std::fill(markup.kinds.begin() + start, markup.kinds.begin() + end, kind);
  };
  const std::u16string title = Utf16(kReportTitle);
  const std::u16string heading = Utf16(kReportHeading);
  const int titleAt = find(title, 0);
  const int headingAt = find(heading, titleAt + static_cast<int>(title.size()) + 1);
  int headingEnd = headingAt < 0 ? -1 : find(u"\n", headingAt);
  if (headingEnd < 0) headingEnd = size;
  markup.title = titleAt;
  markup.heading = headingAt;
  markup.headingEnd = headingEnd;

  std::vector<int> lineEnds;
  for (int i = 0; i < size; ++i)
    if (text[static_cast<std::size_t>(i)] == u'\n') lineEnds.push_back(i);
  // Where the line holding `position` begins and where its line feed stands;
  // looked up, not searched, so that a long line with many finds costs no
  // more than a short one.
  auto line = [&](int position) {
    auto end = std::lower_bound(lineEnds.begin(), lineEnds.end(), position);
    int before = end == lineEnds.begin() ? -1 : *(end - 1);
    return std::pair<int, int>{before + 1, end == lineEnds.end() ? size : *end};
  };

  // Steps 1 to 3: title, heading, and everything after the heading.
  mark(titleAt, titleAt + static_cast<int>(title.size()), kReportTitle_);
  mark(headingAt, headingEnd, kReportHeading_);
  mark(headingEnd, size, kReportLines);

  // Step 4: black from six characters before each "//" through the first dot
  // at or after that point. The run stays on the line of its "//", and the
  // next find starts past both the run and the "//", so the loop always moves
  // forward, also where a line has no dot after its "//".
  for (int from = 0;;) {
    const int slashes = find(u"//", from);
    if (slashes < 0) break;
    if (pump) pump();
    auto [lineStart, lineEnd] = line(slashes);
    const int start = std::max(slashes - 6, lineStart);
    int end = start;
    while (end < lineEnd && text[static_cast<std::size_t>(end)] != u'.') ++end;
    if (end < lineEnd) ++end;  // through the dot
    mark(start, end, kReportBlack);
    from = std::max(end, slashes + 2);
  }

  // Steps 5 to 7: each tag bold in its colour, one tag after the other.
  for (std::size_t i = 0; i < std::size(kReportTags); ++i) {
    const std::u16string needle = Utf16(kReportTags[i]);
    for (int from = 0;;) {
      const int match = find(needle, from);
      if (match < 0) break;
      if (pump) pump();
      from = match + static_cast<int>(needle.size());
      mark(match, from, static_cast<std::uint8_t>(kReportTag + i));
    }
  }
  return markup;
}

ReportLook LookOf(int kind) {
  switch (kind) {
    case kReportTitle_: return {"Arial", 14, true, {}};
    case kReportHeading_: return {"Arial", 10, true, {}};
    case kReportLines: return {"Courier New", 10, false, kReportSiteRgb};
    case kReportBlack: return {"Courier New", 10, false, kReportProtocolRgb};
    case kReportPlain: return {};
    default: return {"Courier New", 10, true, kReportTagRgb[kind - kReportTag]};
  }
}

std::string ReportRtf(const std::vector<SiteRow>& rows, const EventPump& pump) {
  const std::u16string text = Utf16(ReportText(rows));
  return ReportRtf(text, MarkReport(text, pump));
}

std::string ReportRtf(std::u16string_view text, const ReportMarkup& markup) {
  // Font 0 Arial, 1 Courier New; colour 1 black, 2 blue, 3 to 5 the tags'.
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
                    "{\\colortbl;";
  std::vector<ReportColour> colours = {kReportProtocolRgb, kReportSiteRgb};
  for (const ReportColour& tag : kReportTagRgb) colours.push_back(tag);
  for (const ReportColour& colour : colours)
    rtf += "\\red" + std::to_string(colour.red) + "\\green" + std::to_string(colour.green) + "\\blue" +
           std::to_string(colour.blue) + ";";
  rtf += "}\n\\pard\\plain";
  std::string switches[kReportKinds];
  for (int kind = 0; kind < kReportKinds; ++kind) {
    ReportLook look = LookOf(kind);
    int colour = static_cast<int>(std::find(colours.begin(), colours.end(), look.colour) - colours.begin());
    switches[kind] = std::string("\\f") + (std::string_view(look.family) == "Arial" ? "0" : "1") + "\\fs" +
                     std::to_string(look.points * 2) + (look.bold ? "\\b" : "\\b0") + "\\cf" +
                     std::to_string(colour + 1) + " ";
  }
  rtf.reserve(rtf.size() + text.size() * 2);
  int current = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (markup.kinds[i] != current) {
      current = markup.kinds[i];
      rtf += switches[current];
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
