#include "listings/ZoneForUrl.h"

#include "listings/ZoneLookup.h"

namespace pw {

ZoneAnswer ZoneForUrl(RegistryStore& store, std::string_view url) { return ZoneForAddress(&store, ReadZoneAddress(url)); }

ZoneAnswer ZoneForAddress(RegistryStore* store, ZoneAddress address) {
  ZoneAnswer answer;
  answer.scheme = address.scheme;
  answer.host = address.host;
  if (!address.problem.empty()) {
    answer.reason = address.problem;
    answer.refusal = address.refusal;
    return answer;
  }
  ReadSnapshot snapshot(*store);
  zonelookup::StoreSource source(*store);
  zonelookup::Answer(source, address, zonelookup::ZoneRules{}, answer);
  return answer;
}

ZoneAnswer ZoneForHost(ZoneMapSource& source, std::string_view scheme, std::string_view host) {
  ZoneAnswer answer;
  ZoneAddress address;
  address.scheme = answer.scheme = std::string(scheme);
  address.host = answer.host = std::string(host);
  if (std::optional<std::string> number = NumericHost(address.host)) {
    address.byNumber = true;
    address.numericHost = *number;
  }
  zonelookup::Answer(source, address, zonelookup::ZoneRules{}, answer);
  return answer;
}

}  // namespace pw
