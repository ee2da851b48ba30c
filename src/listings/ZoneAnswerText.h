// The zone lookup's answer in words: for the command line's zone query and
// the main window's zone line.
#pragma once

#include <string>
#include <vector>

#include "listings/ZoneForUrl.h"

namespace pw {

// The zone's name: 2 "Trusted", 4 "Restricted", 3 "Unclassified" when listed
// and "Internet" when not, 1 "Local intranet", 0 "Local machine", else "zone N".
std::string ZoneAnswerName(const ZoneAnswer& answer);

// "HKEY_CURRENT_USER\Software\...\Domains\example.com\www".
std::string ZoneMapKeyPath(const ZoneMapKey& key);

// How the answer came about, in one line: the deciding listing with its hive,
// key and value, or why none applies.
std::string ZoneAnswerReason(const ZoneAnswer& answer);

// The answer in short lines for the main window: the zone; the deciding key
// and value, or why none decides; and, where it matters, the machine's hive or
// the key passed over.
std::vector<std::string> ZoneAnswerLines(const ZoneAnswer& answer);

}  // namespace pw
