// The site list as plain text, as both programs print it on a terminal.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "listings/SiteList.h"

namespace pw {

// A field with tabs, line ends, backslashes and control characters escaped,
// so that every row stays one line of fixed columns.
std::string PlainField(std::string_view text);

// The zone a row's listing sets as the browser reads it: the number of its
// REG_DWORD value when that is 1 to 4. Nothing for any other value, nor for a
// row without text, which is a bare key or a value the browser never reads as
// a listing (the unnamed value, one without data). The row's picture, its
// first data byte, can differ: a REG_DWORD of 0x102 shows picture 2.
std::optional<int> ListedZone(RegistryStore& store, const SiteRow& row);

// "Local intranet", "Trusted", "Unclassified" or "Restricted" for 1 to 4;
// null otherwise.
const char* ListedZoneName(int zone);

// The rows in list order under the headers "Protocol", "Subdomain", "Trusted
// Website Domains" and "Zone" (the zone number each sets and its name, read
// from `store`), in columns aligned for a terminal.
void WriteSiteTable(std::ostream& out, const SiteList& list, RegistryStore& store);

}  // namespace pw
