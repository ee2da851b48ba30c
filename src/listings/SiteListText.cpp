#include "listings/SiteListText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "listings/ZoneAssignment.h"
#include "listings/Zones.h"
#include "registry/KeyHandle.h"
#include "registry/RegData.h"

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

std::optional<int> ListedZone(RegistryStore& store, const SiteRow& row) {
  if (row.text.empty()) return std::nullopt;
  ListingAddress listing = ListingAddressOf(row);
  KeyHandle key;
  if (key.Open(store, HKEY_CURRENT_USER, listing.keyPath, KEY_QUERY_VALUE) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  BYTE data[4] = {};
  DWORD size = sizeof data;
  LONG status = store.RegQueryValueExA(key.get(), listing.valueName, nullptr, &type, data, &size);
  key.Close();
  if (status != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::uint32_t> number =
      DwordValue(type, std::string_view(reinterpret_cast<const char*>(data), size));
  if (!number || *number < 1 || *number > 4) return std::nullopt;
  return static_cast<int>(*number);
}

const char* ListedZoneName(int zone) { return zone == 1 ? "Local intranet" : ZoneName(zone); }

void WriteSiteTable(std::ostream& out, const SiteList& list, RegistryStore& store) {
  std::vector<std::vector<std::string>> cells = {{"Protocol", "Subdomain", "Trusted Website Domains", "Zone"}};
  for (const SiteRow& row : list.Rows()) {
    std::optional<int> zone = ListedZone(store, row);
    std::string shown = zone ? std::to_string(*zone) + " " + ListedZoneName(*zone) : "";
    cells.push_back({PlainField(row.text), PlainField(row.subdomain), PlainField(row.domain), shown});
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
