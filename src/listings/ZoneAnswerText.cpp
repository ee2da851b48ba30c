#include "listings/ZoneAnswerText.h"

#include "listings/Zones.h"
#include "registry/KnownKeys.h"

namespace pw {

std::string ZoneAnswerName(const ZoneAnswer& answer) {
  if (answer.verdict == ZoneVerdict::NotAnswered) return "";
  if (answer.zone == 3 && answer.verdict != ZoneVerdict::Listed) return "Internet";
  const char* name = ZoneNumberName(answer.zone);
  return name ? name : "zone " + std::to_string(answer.zone);
}

std::string ZoneMapKeyPath(const ZoneMapKey& key) {
  std::string path =
      key.hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\";
  path += kDomainsPath;
  path += "\\" + key.domain;
  if (!key.subdomain.empty()) path += "\\" + key.subdomain;
  return path;
}

std::string ZoneAnswerReason(const ZoneAnswer& answer) {
  std::string reason;
  switch (answer.verdict) {
    case ZoneVerdict::NotAnswered:
      return answer.reason;
    case ZoneVerdict::ByNumber:
      return "an address by number: the site listings are not consulted; the ZoneMap\\Ranges key "
             "decides, which "
             "Portwarden does not manage";
    case ZoneVerdict::Listed:
      reason = "listed by " + ZoneMapKeyPath(answer.listing) + ", value \"" +
               answer.listing.valueName + "\"";
      if (answer.damaged)
        reason += " (damaged: fewer than four bytes, the rest of the number is made up)";
      break;
    case ZoneVerdict::NotListed:
      reason = "not listed";
      break;
  }
  if (answer.passedOver)
    reason += "; " + ZoneMapKeyPath(*answer.passedOver) + " matches the host but holds neither \"" +
              answer.scheme + "\" nor \"*\"";
  return reason;
}

std::vector<std::string> ZoneAnswerLines(const ZoneAnswer& answer) {
  auto key = [](const ZoneMapKey& where) {
    return where.domain + (where.subdomain.empty() ? "" : "\\" + where.subdomain);
  };
  std::vector<std::string> lines;
  if (answer.verdict == ZoneVerdict::NotAnswered) {
    lines = {"Zone: none", answer.refusal};
    return lines;
  }
  lines.push_back("Zone: " + std::to_string(answer.zone) + " " + ZoneAnswerName(answer));
  switch (answer.verdict) {
    case ZoneVerdict::Listed:
      lines.push_back("by " + key(answer.listing));
      lines.push_back("value \"" + answer.listing.valueName + "\"" +
                      (answer.listing.hive == HKEY_LOCAL_MACHINE ? ", machine's map" : ""));
      break;
    case ZoneVerdict::ByNumber:
      lines.push_back("address by number");
      break;
    default:
      lines.push_back("not listed");
  }
  if (answer.passedOver && lines.size() < 3)
    lines.push_back("(" + key(*answer.passedOver) + " has no \"" + answer.scheme + "\")");
  return lines;
}

}  // namespace pw
