#include "TerminalView.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "listings/Zones.h"

namespace pw {
namespace {

std::string ZoneText(int icon) {
  if (const char* name = ZoneName(icon)) return name;
  return icon == 0 ? "-" : "zone " + std::to_string(icon);
}

}  // namespace

void PrintStateAndSites(std::ostream& out, ZoneSecurityState state, const SiteList& sites) {
  out << "Internet zone: " << ZoneSecurityStateName(state) << "\n";
  if (sites.Count() == 0) {
    out << "The site list is empty.\n";
    return;
  }
  std::vector<std::array<std::string, 4>> lines;
  lines.push_back({"Protocol", "Subdomain", "Trusted Website Domains", "Zone"});
  for (const SiteRow& row : sites.Rows()) lines.push_back({row.text, row.subdomain, row.domain, ZoneText(row.icon)});
  std::array<std::size_t, 4> widths{};
  for (const auto& line : lines)
    for (std::size_t c = 0; c < 4; ++c) widths[c] = std::max(widths[c], line[c].size());
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t c = 0; c < 4; ++c) {
      text += line[c];
      if (c < 3) text += std::string(widths[c] - line[c].size() + 2, ' ');
    }
    out << text << "\n";
  }
}

}  // namespace pw
