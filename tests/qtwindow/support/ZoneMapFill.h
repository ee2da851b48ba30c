// Filling a store's zone map for window tests, screenshots and benchmarks.
#pragma once

#include <string>

#include "registry/RegistryStore.h"

namespace pw::test {

// Writes the listing (domain, subdomain or empty, value name) with the zone,
// creating its keys.
void AddListing(RegistryStore& store, const std::string& domain, const std::string& subdomain,
                const std::string& valueName, int zone);

// A zone map as a user would have it: about thirty listings of every kind.
void FillSampleSites(RegistryStore& store);

// `count` listings spread over domains and subdomains, written in one
// transaction: for measuring large lists.
void FillGeneratedSites(RegistryStore& store, int count);

}  // namespace pw::test
