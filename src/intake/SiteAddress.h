// Turning the text of the address box into the generalised listing the add
// flow proposes: the host's last two labels as the domain (or, where those are
// or end a public suffix, the suffix and one label more: "mysite.github.io"),
// its first label replaced by "*". Text that holds a dotted IPv4 address, a
// host that is nothing but a public suffix, or a host that would make a
// malformed zone-map key (or one longer than the registry takes), is refused.
// Pure text processing: nothing is shown and nothing is written here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/Prompter.h"

namespace pw {

enum class AddressVerdict { Accepted, TooShort, FraudAlert, CorruptedUrl };

// The verdict's own name ("Accepted", "TooShort", ...).
const char* AddressVerdictName(AddressVerdict verdict);

struct SiteAddressParts {
  AddressVerdict Verdict = AddressVerdict::TooShort;
  // The address cut to scheme and host, or to the host; a prefix of the input.
  // Set for Accepted and CorruptedUrl.
  std::string AddressText;
  // Accepted only: the last two labels ("example.com"; the public suffix and
  // one label more where the two are or end one), the generalised
  // subdomain ("*" or "*." and the middle labels) and every label in front of
  // the domain as written ("www", "a.b", or empty).
  std::string Domain;
  std::string SubDomain;
  std::string FullSubDomain;
  // FraudAlert only: the dotted address found.
  std::string IpText;
  // Every verdict but Accepted: what was refused, as a phrase for a message
  // ("the port :8080", "the character '_'", "the IP address 192.0.2.1").
  std::string Refused;
};

// Any length; linear time.
SiteAddressParts ParseSiteAddress(std::string_view address);

// The first dotted IPv4 address anywhere in the text (octets of any number of
// digits, each below 256), or nothing.
std::optional<std::string> FindIpAddress(std::string_view text);

// True when the text is a non-empty run of "-", ".", digits and letters that
// neither starts nor ends with "." or "-" and holds no "-.", "._", "/" or "..".
bool IsValidHostText(std::string_view text);

// The messages the window and the command line show for a refused address.
inline constexpr const char* kFraudAlertTitle = "Fraud Alert";
inline constexpr const char* kFraudAlertTextStart =
    "Trustworthy sites or institutions do NOT use IP addresses to host websites without specifying a "
    "domain - this is a counterfeit site and will not be registered. Please contact your bank, "
    "escrow, or account provider; and the Federal Police in your country and report the use of this "
    "IP Address: ";
inline constexpr const char* kFraudAlertTextLink = " in this link: ";
inline constexpr const char* kCorruptedUrlTitle = "Corrupted URL";
inline constexpr const char* kCorruptedUrlText =
    "The URL you have entered is incorrect and may corrupt the registry if trusted. Please re-enter "
    "the URL with the correct format";

// The "Fraud Alert" text for the address found in `address` (as it was passed
// to ParseSiteAddress).
std::string FraudAlertText(const std::string& ipText, std::string_view address);

// Shows the message for a FraudAlert (critical icon) or CorruptedUrl
// (exclamation icon) verdict, with a single OK button; the other verdicts show
// nothing. Returns whether a message was shown.
bool ShowAddressRefusal(Prompter& prompter, const SiteAddressParts& parts, std::string_view address);

}  // namespace pw
