#include "intake/SiteAddress.h"

#include <cstdio>

#include "common/Ascii.h"
#include "intake/PublicSuffix.h"
#include "registry/Utf8.h"

namespace pw {
namespace {

constexpr std::size_t kMinimumLength = 6;
// The longest key name the registry takes: a domain or subdomain longer than
// this could never be listed.
constexpr std::size_t kMaxKeyName = 255;

// Characters as the address box counts them: one per UTF-8 sequence, and one
// per byte that does not start a well-formed sequence.
std::size_t CountCharacters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4 : 1;
    if (length > 1) {
      bool whole = i + length <= text.size();
      for (std::size_t k = 1; whole && k < length; ++k)
        whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (!whole) length = 1;
    }
    i += length;
  }
  return count;
}

// A label that is not checked by the character rules may still hold nothing
// that would split or damage a key name.
bool IsSafeLabel(std::string_view label) {
  for (char c : label) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

// Position of the `n`-th "." counted from the end, or npos.
std::size_t NthDotFromEnd(std::string_view text, int n) {
  for (std::size_t i = text.size(); i-- > 0;)
    if (text[i] == '.' && --n == 0) return i;
  return std::string_view::npos;
}

SiteAddressParts Corrupted(std::string_view addressText, std::string refused) {
  SiteAddressParts parts;
  parts.Verdict = AddressVerdict::CorruptedUrl;
  parts.AddressText = std::string(addressText);
  parts.Refused = std::move(refused);
  return parts;
}

// Accepted parts whose every key name the registry takes; refused otherwise.
SiteAddressParts Checked(SiteAddressParts parts) {
  for (const std::string* name : {&parts.Domain, &parts.SubDomain, &parts.FullSubDomain})
    if (name->size() > kMaxKeyName)
      return Corrupted(parts.AddressText, "a name of more than " + std::to_string(kMaxKeyName) +
                                              " characters (more than a registry key's name holds)");
  return parts;
}

// The character at `at` for a message: itself in quotes, or its code when it
// cannot be shown.
std::string CharacterAt(std::string_view text, std::size_t at) {
  unsigned char c = static_cast<unsigned char>(text[at]);
  if (c == ' ') return "a space";
  if (c < 0x20 || c == 0x7F) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X", c);
    return std::string("the control character 0x") + code;
  }
  std::size_t length = 1;
  while (c >= 0x80 && at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
    ++length;
  return "the character '" + std::string(text.substr(at, length)) + "'";
}

// Text of the address for a message, with control characters as their codes:
// a message must not let the address steer the terminal.
std::string Shown(std::string_view text) {
  std::string shown;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      shown += c;
      continue;
    }
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02X", u);
    shown += code;
  }
  return shown;
}

// A host that is nothing but a public suffix, as a phrase.
std::string PublicSuffixFault(std::string_view host) {
  return "the public suffix " + Shown(host) + " (a name under which unrelated sites are registered)";
}

// What makes `host` no host name, as a phrase; the first fault from the left,
// with the parts of an address a listing has no room for named as such.
std::string HostFault(std::string_view host, bool firstLabelOnly) {
  for (std::size_t i = 0; i < host.size(); ++i) {
    char c = host[i];
    std::string_view from = host.substr(i);
    if (c == '\\') return "the path " + Shown(from) + " (a path ends the host with /, not \\)";
    if (firstLabelOnly) {
      // The first label is replaced by "*"; only what would damage a key name counts.
      unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F) return CharacterAt(host, i) + " (a site's name cannot hold it)";
      continue;
    }
    if (c == ':' && from.size() > 1 && IsAsciiDigit(from[1]))
      return "the port " + Shown(from) + " (a listing covers every port of its site)";
    if (c == '@') return "the user name " + Shown(host.substr(0, i + 1)) + " (a listing names no user)";
    if (c == '?') return "the query " + Shown(from) + " (a path ends the host with /)";
    if (c == '#') return "the fragment " + Shown(from);
    bool allowed = (c >= '-' && c <= '9' && c != '/') || IsAsciiLetter(c);
    if (!allowed) return CharacterAt(host, i) + " (a site's name cannot hold it)";
  }
  if (firstLabelOnly) return "a malformed host name";
  if (host.empty()) return "an empty host name";
  if (host.front() == '.' || host.back() == '.') return "a dot at the start or end of the host name";
  if (host.front() == '-' || host.back() == '-') return "a hyphen at the start or end of the host name";
  if (host.find("..") != std::string_view::npos) return "an empty label (two dots in a row)";
  if (host.find("-.") != std::string_view::npos) return "a label ending in a hyphen";
  return "a malformed host name";
}

// The parts of a host whose domain is its public suffix (of `suffixLabels`
// labels, two or more) and the label in front of it; the labels of the
// candidate (the host after its first label) in front of the domain make the
// generalised subdomain as usual. A host that is nothing but a public suffix
// is refused, and so is a domain that takes in the host's first label when
// that breaks the character rules.
SiteAddressParts DeeperDomain(SiteAddressParts parts, std::string_view host, std::string_view candidate,
                              std::size_t suffixLabels) {
  std::size_t domainDot = NthDotFromEnd(host, static_cast<int>(suffixLabels) + 1);
  if (domainDot == std::string_view::npos) {
    if (NthDotFromEnd(host, static_cast<int>(suffixLabels)) == std::string_view::npos)
      return Corrupted(parts.AddressText, PublicSuffixFault(host));
    if (!IsValidHostText(host)) return Corrupted(parts.AddressText, HostFault(host, false));
    parts.Domain = std::string(host);
    parts.SubDomain = "*";
    return Checked(std::move(parts));
  }
  std::string_view domain = host.substr(domainDot + 1);
  if (!IsValidHostText(domain)) return Corrupted(parts.AddressText, HostFault(domain, false));
  parts.Domain = std::string(domain);
  parts.FullSubDomain = std::string(host.substr(0, domainDot));
  std::string_view middle =
      candidate.size() > domain.size() + 1 ? candidate.substr(0, candidate.size() - domain.size() - 1) : "";
  parts.SubDomain = middle.empty() ? "*" : "*." + std::string(middle);
  return Checked(std::move(parts));
}

}  // namespace

const char* AddressVerdictName(AddressVerdict verdict) {
  switch (verdict) {
    case AddressVerdict::Accepted: return "Accepted";
    case AddressVerdict::TooShort: return "TooShort";
    case AddressVerdict::FraudAlert: return "FraudAlert";
    case AddressVerdict::CorruptedUrl: return "CorruptedUrl";
  }
  return "";
}

std::optional<std::string> FindIpAddress(std::string_view text) {
  // Four octets take four digits and three dots at least; most addresses have
  // fewer, and counting is far cheaper than the search.
  std::size_t digits = 0, dots = 0;
  for (char ch : text) {
    digits += IsAsciiDigit(ch);
    dots += ch == '.';
  }
  if (digits < 4 || dots < 3) return std::nullopt;
  // The octets only matter as "empty" and "below 256", so each is kept as a
  // digit count and a value that stops growing at 256. The candidate is always
  // the run of text since the last reset, so it is kept as its start.
  constexpr unsigned kTooBig = 256;
  unsigned value[4] = {};
  bool seen[4] = {};
  int k = 0;
  std::size_t start = 0;
  auto reset = [&](std::size_t next) {
    for (int i = 0; i < 4; ++i) value[i] = 0, seen[i] = false;
    k = 0;
    start = next;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (IsAsciiDigit(ch)) {
      unsigned grown = value[k] * 10 + static_cast<unsigned>(ch - '0');
      value[k] = grown < kTooBig ? grown : kTooBig;
      seen[k] = true;
      if (k == 3 && i + 1 == text.size() && value[3] < kTooBig)
        return std::string(text.substr(start, i + 1 - start));
    } else if (seen[3] && value[3] < kTooBig) {
      return std::string(text.substr(start, i - start));
    } else if (ch == '.' && seen[k] && value[k] < kTooBig) {
      ++k;  // k < 3 here: with k = 3 a "." either matched above or resets
    } else if (k == 0 && !seen[0]) {
      start = i + 1;  // nothing to clear: the common case of a letter after a letter
    } else {
      reset(i + 1);
    }
  }
  return std::nullopt;
}

bool IsValidHostText(std::string_view text) {
  // Empty text has no first or last character to judge; it is no host.
  if (text.empty()) return false;
  char first = text.front();
  char last = text.back();
  if (first == '.' || first == '-' || last == '.' || last == '-') return false;
  char previous = '\0';
  for (char raw : text) {
    char c = AsciiLower(raw);
    bool allowed = (c >= '-' && c <= '9' && c != '/') || IsAsciiLetter(c);
    if (!allowed) return false;  // "/" and "_" are refused here
    if (c == '.' && (previous == '-' || previous == '.')) return false;
    previous = c;
  }
  return true;
}

SiteAddressParts ParseSiteAddress(std::string_view address) {
  SiteAddressParts parts;
  // A character takes four bytes at most, so only a short text needs counting.
  if (address.size() < 4 * kMinimumLength && CountCharacters(address) < kMinimumLength) {
    parts.Verdict = AddressVerdict::TooShort;
    parts.Refused = "an address of fewer than " + std::to_string(kMinimumLength) + " characters";
    return parts;
  }
  if (std::optional<std::string> ip = FindIpAddress(address)) {
    parts.Verdict = AddressVerdict::FraudAlert;
    parts.IpText = std::move(*ip);
    parts.Refused = "the IP address " + parts.IpText + " (a site is listed by its name)";
    return parts;
  }

  // A closing "/" is only ever looked for, never kept: the cut text ends
  // before the first "/" after the host, which is the appended one at the
  // latest. So the cut text is always a prefix of the address.
  auto slashFrom = [&](std::size_t from) {
    std::size_t at = address.find('/', from);
    return at == std::string_view::npos ? address.size() : at;
  };
  std::string_view addressText;
  std::string_view host;
  std::size_t scheme = address.find("//");
  if (scheme != std::string_view::npos) {
    if (scheme + 2 >= address.size()) return Corrupted(address, "nothing after \"//\" (where the host belongs)");
    std::size_t end = slashFrom(scheme + 2);
    addressText = address.substr(0, end);
    host = addressText.substr(scheme + 2);
    if (!host.empty() && host.front() == '.') host.remove_prefix(1);
  } else {
    addressText = address.substr(0, slashFrom(0));
    host = addressText;
  }

  // Text that is not valid UTF-8 would become a name no export could write.
  if (!IsValidUtf8(addressText)) return Corrupted(addressText, "bytes that are not UTF-8 text");

  std::size_t firstDot = host.find('.');
  std::string_view rest = firstDot == std::string_view::npos ? host : host.substr(firstDot + 1);
  std::string_view firstLabel = firstDot == std::string_view::npos ? std::string_view() : host.substr(0, firstDot);
  std::string_view candidate = rest;
  if (!candidate.empty() && candidate.front() == '.') candidate.remove_prefix(1);
  if (!IsSafeLabel(firstLabel)) return Corrupted(addressText, HostFault(host, true));
  if (!IsValidHostText(candidate)) return Corrupted(addressText, HostFault(candidate, false));

  // The generalised form is "*." followed by the candidate, so its second "."
  // from the end is the candidate's last "." but one, or the one after "*".
  std::size_t lastDot = candidate.rfind('.');
  if (lastDot == std::string_view::npos) {
    // No second "." in the generalised form: only a plain two-label host is
    // listed, whole, on its domain key, unless it is a public suffix.
    if (NthDotFromEnd(host, 1) == std::string_view::npos)
      return Corrupted(addressText, "the single name " + Shown(host) + " (a site needs a domain)");
    if (NthDotFromEnd(host, 2) != std::string_view::npos || !IsValidHostText(host))
      return Corrupted(addressText, HostFault(host, false));
    if (IsPublicSuffix(host)) return Corrupted(addressText, PublicSuffixFault(host));
    parts.Verdict = AddressVerdict::Accepted;
    parts.AddressText = std::string(addressText);
    parts.Domain = std::string(host);
    parts.SubDomain = "*";
    return Checked(std::move(parts));
  }
  // The domain is the last two labels, or, where those are a public suffix or
  // end a longer one ("github.io", "s3.amazonaws.com"), the suffix and the
  // label in front of it: a listing never covers the sites of strangers.
  std::size_t domainDot = NthDotFromEnd(candidate, 2);
  std::size_t lastTwo = host.size() - candidate.size() + (domainDot == std::string_view::npos ? 0 : domainDot + 1);
  std::size_t suffixLabels = PublicSuffixLabels(host, lastTwo);
  parts.Verdict = AddressVerdict::Accepted;
  parts.AddressText = std::string(addressText);
  if (suffixLabels >= 2) return DeeperDomain(std::move(parts), host, candidate, suffixLabels);
  if (domainDot == std::string_view::npos) {
    parts.Domain = std::string(candidate);
    parts.SubDomain = "*";
  } else {
    parts.Domain = std::string(candidate.substr(domainDot + 1));
    parts.SubDomain = "*." + std::string(candidate.substr(0, domainDot));
  }
  // The host holds the candidate's dots and at least one more, so its second
  // "." from the end is always there.
  parts.FullSubDomain = std::string(host.substr(0, NthDotFromEnd(host, 2)));
  return Checked(std::move(parts));
}

std::string FraudAlertText(const std::string& ipText, std::string_view address) {
  return std::string(kFraudAlertTextStart) + ipText + kFraudAlertTextLink + std::string(address);
}

bool ShowAddressRefusal(Prompter& prompter, const SiteAddressParts& parts, std::string_view address) {
  switch (parts.Verdict) {
    case AddressVerdict::FraudAlert:
      prompter.MsgBox(kFraudAlertTitle, FraudAlertText(parts.IpText, address), MsgButtons::Ok, MsgIcon::Critical);
      return true;
    case AddressVerdict::CorruptedUrl:
      prompter.MsgBox(kCorruptedUrlTitle, kCorruptedUrlText, MsgButtons::Ok, MsgIcon::Exclamation);
      return true;
    default:
      return false;
  }
}

}  // namespace pw
