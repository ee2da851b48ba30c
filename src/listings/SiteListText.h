// The site list as plain text, as both programs print it on a terminal.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "listings/SiteList.h"

namespace pw {

// A field with tabs, line ends, backslashes and control characters escaped,
// so that every row stays one line of fixed columns.
std::string PlainField(std::string_view text);

// The rows in list order under the headers "Protocol", "Subdomain", "Trusted
// Website Domains" and "Zone" (the picture number and its zone name), in
// columns aligned for a terminal.
void WriteSiteTable(std::ostream& out, const SiteList& list);

}  // namespace pw
