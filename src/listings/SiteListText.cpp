#include "listings/SiteListText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "listings/Zones.h"

namespace pw {

std::string PlainField(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out;
}

namespace {

// Width on a terminal, one column per UTF-8 character.
std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
  return width;
}

}  // namespace

void WriteSiteTable(std::ostream& out, const SiteList& list) {
  std::vector<std::vector<std::string>> cells = {{"Protocol", "Subdomain", "Trusted Website Domains", "Zone"}};
  for (const SiteRow& row : list.Rows()) {
    const char* zone = ZoneName(row.icon);
    std::string picture = row.icon ? std::to_string(row.icon) + (zone ? std::string(" ") + zone : "") : "";
    cells.push_back({PlainField(row.text), PlainField(row.subdomain), PlainField(row.domain), picture});
  }
  std::size_t widths[4] = {};
  for (const auto& line : cells)
    for (std::size_t c = 0; c < 4; ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t c = 0; c < 4; ++c) {
      text += line[c];
      if (c < 3) text += std::string(widths[c] - DisplayWidth(line[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << "\n";
  }
}

}  // namespace pw
