#include "report/ReportText.h"

namespace pw {

std::string_view ReportTag(int zone) {
  switch (zone) {
    case 2: return kReportTags[0];
    case 3: return kReportTags[1];
    case 4: return kReportTags[2];
    default: return {};
  }
}

namespace {

void AppendLine(std::string& line, const SiteRow& row) {
  std::string_view tag = ReportTag(row.icon);
  if (!tag.empty()) {
    line += "\t\t";
    line += tag;
  }
  line += "\t\t\t";
  // The comparison is exact: only "Default" stands for all protocols.
  line += row.text == "Default" ? std::string_view("*") : std::string_view(row.text);
  line += "://";
  if (row.subdomain.empty()) {
    line += "*.";
  } else {
    line += row.subdomain;
    line += '.';
  }
  line += row.domain;
  line += '\n';
}

}  // namespace

std::string ReportLine(const SiteRow& row) {
  std::string line;
  AppendLine(line, row);
  return line;
}

std::string ReportText(const std::vector<SiteRow>& rows) {
  std::string text = "\n\n\n\n\t";
  std::size_t size = text.size() + kReportTitle.size() + kReportHeading.size() + 8;
  for (const SiteRow& row : rows) size += row.text.size() + row.subdomain.size() + row.domain.size() + 24;
  text.reserve(size);
  text += kReportTitle;
  text += "\n\n\t\t";
  text += kReportHeading;
  text += '\n';
  for (const SiteRow& row : rows) AppendLine(text, row);
  return text;
}

}  // namespace pw
