// An address as the browser engine reads it for the zone lookup: its scheme
// and its host, or why it gives no answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw {

struct ZoneAddress {
  std::string scheme;       // lower case
  std::string host;         // lower case, escapes decoded, no port
  bool byNumber = false;
  std::string numericHost;  // byNumber: as four numbers
  // Not empty when there is no answer: "not an address" or "not answered",
  // and with it the whole reason ("not an address: it has no host").
  std::string refusal;
  std::string problem;
};

ZoneAddress ReadZoneAddress(std::string_view url);

// A host that is an address by number: four decimal numbers below 256, or the
// short forms of one to three (a single number below 2^32). Returns it as four
// numbers, the short forms filled up with zeros at the end as Wine does.
std::optional<std::string> NumericHost(std::string_view host);

// Text typed into the address box as the browser would take it: an address
// without a scheme is an http address.
std::string AddressAsTyped(std::string_view text);

}  // namespace pw
