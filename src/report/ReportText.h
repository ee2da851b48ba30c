// The text of the scripting privilege report: a title, a column heading and one
// line per row of the site list, in the list's order. Lines end with a line
// feed; TABs make the columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "listings/SiteList.h"

namespace pw {

inline constexpr std::string_view kReportTitle = "Portwarden Scripting Privilege Report.";
// "Site..." is padded with spaces to 40 characters.
inline constexpr std::string_view kReportHeading =
    "Priviledge\t\t\tSite...                                 ";

// The tag that shows a zone on its line: "[TRUSTED]", "{LISTED}" or
// "RESTRICTED" for 2, 3 and 4; empty for any other zone.
std::string_view ReportTag(int zone);

// The tags in the order the report colours them.
inline constexpr std::string_view kReportTags[] = {"[TRUSTED]", "{LISTED}", "RESTRICTED"};

// One row's line: the tag after two TABs (nothing at all for an untagged
// zone), three TABs, then protocol://host with "*" for "Default" and "*." for
// an empty subdomain.
std::string ReportLine(const SiteRow& row);

// The whole report for these rows, in their order.
std::string ReportText(const std::vector<SiteRow>& rows);

}  // namespace pw
