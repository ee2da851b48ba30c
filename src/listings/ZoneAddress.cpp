#include "listings/ZoneAddress.h"

#include <algorithm>
#include <vector>

#include "common/Ascii.h"

namespace pw {
namespace {

bool IsSlash(char c) {
  return c == '/' || c == '\\';
}

ZoneAddress& Refused(ZoneAddress& address, const char* refusal, const std::string& detail) {
  address.refusal = refusal;
  address.problem = address.refusal + ": " + detail;
  return address;
}

}  // namespace

// A host that is an address by number: four decimal numbers below 256, or the
// short forms of one to three (a single number below 2^32). Returns it as four
// numbers, the short forms filled up with zeros at the end as Wine does.
std::optional<std::string> NumericHost(std::string_view host) {
  if (!std::all_of(host.begin(), host.end(), [](char c) { return IsAsciiDigit(c) || c == '.'; })) return std::nullopt;
  std::vector<std::uint64_t> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = host.find('.', start);
    std::string_view part = host.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.size() > 10 || !std::all_of(part.begin(), part.end(), IsAsciiDigit))
      return std::nullopt;
    parts.push_back(std::stoull(std::string(part)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (parts.size() > 4) return std::nullopt;
  if (parts.size() == 1) {
    if (parts[0] > 0xFFFFFFFFull) return std::nullopt;
    std::uint64_t n = parts[0];
    parts = {n >> 24, (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF};
  }
  if (std::any_of(parts.begin(), parts.end(), [](std::uint64_t p) { return p > 255; }))
    return std::nullopt;
  parts.resize(4, 0);
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

ZoneAddress ReadZoneAddress(std::string_view url) {
  ZoneAddress address;
  // Tabs and line ends vanish anywhere; spaces and controls only at the ends.
  std::string text;
  for (char c : url)
    if (c != '\t' && c != '\r' && c != '\n') text += c;
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;

  std::size_t schemeStart = i;
  if (i < text.size() && IsAsciiLetter(text[i]))
    while (i < text.size() && (IsAsciiLetter(text[i]) || IsAsciiDigit(text[i]) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
      ++i;
  if (i == schemeStart || i >= text.size() || text[i] != ':') {
    return Refused(address, "not an address", "it has no scheme such as \"http:\"");
  }
  for (std::size_t k = schemeStart; k < i; ++k) address.scheme += AsciiLower(text[k]);
  if (address.scheme != "http" && address.scheme != "https" && address.scheme != "ftp") {
    return Refused(address, "not answered", "Portwarden answers for http, https and ftp addresses only");
  }
  ++i;
  if (i + 1 >= text.size() || !IsSlash(text[i]) || !IsSlash(text[i + 1])) {
    return Refused(address, "not an address", "\"//\" and a host must follow \"" + address.scheme + ":\"");
  }
  i += 2;
  std::size_t end = i;
  while (end < text.size() && !IsSlash(text[end]) && text[end] != '?' && text[end] != '#') ++end;
  std::string_view authority = std::string_view(text).substr(i, end - i);
  // The engine ends the user name and password at the first "@".
  if (std::size_t at = authority.find('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);

  std::string_view host = authority;
  std::string_view port;
  if (!host.empty() && host.front() == '[') {
    std::size_t close = host.find(']');
    if (close == std::string_view::npos) {
      return Refused(address, "not an address", "the host's \"[\" is not closed");
    }
    address.host = std::string(host.substr(0, close + 1));
    address.byNumber = true;
    return address;
  }
  if (std::size_t colon = host.find(':'); colon != std::string_view::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), IsAsciiDigit) ||
      (!port.empty() && std::stoi(std::string(port)) > 65535)) {
    return Refused(address, "not an address", "the port \"" + std::string(port) + "\" is not a number from 0 to 65535");
  }
  for (std::size_t k = 0; k < host.size(); ++k) {
    char c = host[k];
    if (c == '%') {
      int high = k + 2 < host.size() ? AsciiHexValue(host[k + 1]) : -1;
      int low = high >= 0 ? AsciiHexValue(host[k + 2]) : -1;
      if (low < 0) {
        return Refused(address, "not an address", "a \"%\" in the host is not followed by two hexadecimal digits");
      }
      c = static_cast<char>(high * 16 + low);
      k += 2;
    }
    address.host += AsciiLower(c);
  }
  if (address.host.empty()) {
    return Refused(address, "not an address", "it has no host");
  }
  if (std::optional<std::string> number = NumericHost(address.host)) {
    address.byNumber = true;
    address.numericHost = *number;
  }
  return address;
}

std::string AddressAsTyped(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  if (text.empty()) return {};
  // "mailto:" and "http:" have a scheme; "www.example.com:8080" and
  // "localhost:8080" have a host and a port.
  std::size_t i = 0;
  while (i < text.size() &&
         (IsAsciiLetter(text[i]) || (i > 0 && (IsAsciiDigit(text[i]) || text[i] == '+' || text[i] == '-'))))
    ++i;
  bool scheme =
      i > 0 && i < text.size() && text[i] == ':' && !(i + 1 < text.size() && IsAsciiDigit(text[i + 1]));
  return scheme ? std::string(text) : "http://" + std::string(text);
}

}  // namespace pw
