// fuzz-libraries: pw_intake
// Parses any bytes as an address and checks what every result must hold.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "intake/PublicSuffix.h"
#include "intake/SiteAddress.h"

namespace {

void Require(bool condition, const char* what, std::string_view input) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s (input of %zu bytes)\n", what, input.size());
  std::abort();
}

bool IsPrefix(const std::string& part, std::string_view whole) {
  return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// Only characters the host rules allow: each one alone passes them.
bool HostCharactersOnly(const std::string& text) {
  for (char c : text)
    if (c != '.' && c != '-' && !pw::IsValidHostText(std::string_view(&c, 1))) return false;
  return true;
}

bool HasSplittingCharacter(const std::string& text) {
  for (char c : text)
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  pw::SiteAddressParts parts = pw::ParseSiteAddress(input);
  using pw::AddressVerdict;

  if (!parts.AddressText.empty()) Require(IsPrefix(parts.AddressText, input), "AddressText is a prefix", input);
  switch (parts.Verdict) {
    case AddressVerdict::Accepted: {
      // The last two labels, or a public suffix with one label more.
      Require(parts.Domain.find('.') != std::string::npos, "an accepted Domain holds a '.'", input);
      Require(parts.Domain.find('.') == parts.Domain.rfind('.') ||
                  pw::PublicSuffixLabels(parts.Domain) + 1 == static_cast<std::size_t>(std::count(
                                                                   parts.Domain.begin(), parts.Domain.end(), '.')) +
                                                                   1,
              "an accepted Domain is two labels, or a public suffix and one more", input);
      Require(!pw::IsPublicSuffix(parts.Domain), "an accepted Domain is no public suffix", input);
      Require(HostCharactersOnly(parts.Domain), "an accepted Domain holds only host characters", input);
      Require(parts.SubDomain == "*" || parts.SubDomain.rfind("*.", 0) == 0, "SubDomain starts with *", input);
      Require(parts.SubDomain == "*" || pw::IsValidHostText(parts.SubDomain.substr(2)),
              "the generalised labels pass the character rules", input);
      Require(!HasSplittingCharacter(parts.FullSubDomain), "FullSubDomain makes one key name", input);
      Require(parts.Domain.size() <= 255 && parts.SubDomain.size() <= 255 && parts.FullSubDomain.size() <= 255,
              "every accepted name fits a registry key name", input);
      Require(input.find(parts.Domain) != std::string_view::npos, "Domain is taken from the input", input);
      Require(!pw::FindIpAddress(input), "no accepted address holds a dotted address", input);
      Require(parts.IpText.empty(), "IpText only for FraudAlert", input);
      break;
    }
    case AddressVerdict::FraudAlert:
      Require(!parts.IpText.empty() && input.find(parts.IpText) != std::string_view::npos,
              "IpText is found in the input", input);
      Require(parts.AddressText.empty() && parts.Domain.empty(), "FraudAlert sets IpText alone", input);
      break;
    case AddressVerdict::CorruptedUrl:
      Require(parts.Domain.empty() && parts.SubDomain.empty() && parts.FullSubDomain.empty() &&
                  parts.IpText.empty(),
              "CorruptedUrl sets AddressText alone", input);
      break;
    case AddressVerdict::TooShort:
      Require(size < 6 * 4, "TooShort only for short text", input);
      Require(parts.AddressText.empty() && parts.Domain.empty() && parts.IpText.empty(), "TooShort sets nothing",
              input);
      break;
  }
  return 0;
}
