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

std::string ReportLine(const SiteRow& row) {
  std::string line;
  std::string_view tag = ReportTag(row.icon);
  if (!tag.empty()) {
    line += "\t\t";
    line += tag;
  }
  line += "\t\t\t";
  // The comparison is exact: only "Default" stands for all protocols.
  line += row.text == "Default" ? std::string("*") : row.text;
  line += "://";
  line += row.subdomain.empty() ? std::string("*.") : row.subdomain + ".";
  line += row.domain;
  line += '\n';
  return line;
}

std::string ReportText(const std::vector<SiteRow>& rows) {
  std::string text = "\n\n\n\n\t";
  text += kReportTitle;
  text += "\n\n\t\t";
  text += kReportHeading;
  text += '\n';
  for (const SiteRow& row : rows) text += ReportLine(row);
  return text;
}

}  // namespace pw
