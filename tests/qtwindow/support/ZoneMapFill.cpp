#include "ZoneMapFill.h"

#include "ZoneMap.h"

namespace pw::test {

void AddListing(RegistryStore& store, const std::string& domain, const std::string& subdomain,
                const std::string& valueName, int zone) {
  ZoneMap(store).SetZone(subdomain.empty() ? domain : domain + "\\" + subdomain, valueName,
                         static_cast<std::uint32_t>(zone));
}

void FillSampleSites(RegistryStore& store) {
  struct Listing {
    const char* domain;
    const char* subdomain;
    const char* value;
    int zone;
  };
  static const Listing listings[] = {
      {"firstnational-bank.com", "", "*", 2},       {"firstnational-bank.com", "online", "https", 2},
      {"escrow-direct.com", "", "*", 2},            {"escrow-direct.com", "secure", "https", 2},
      {"citycreditunion.org", "", "https", 2},      {"example.com", "", "*", 3},
      {"example.com", "mail", "http", 4},           {"example.com", "mail", "https", 4},
      {"newsdaily.net", "", "*", 3},                {"newsdaily.net", "video", "http", 3},
      {"weatherwatch.info", "", "*", 3},            {"openforum.org", "", "http", 3},
      {"openforum.org", "", "https", 3},            {"adclick-tracker.biz", "", "*", 4},
      {"popunder-ads.net", "", "*", 4},             {"popunder-ads.net", "cdn", "*", 4},
      {"free-screensavers.ws", "", "*", 4},         {"toolbar-offers.info", "", "*", 4},
      {"toolbar-offers.info", "download", "ftp", 4}, {"shopping-mall.com", "", "*", 3},
      {"shopping-mall.com", "checkout", "https", 2}, {"software-updates.com", "", "ftp", 3},
      {"software-updates.com", "", "http", 3},      {"photo-share.net", "", "*", 3},
      {"casino-royale-win.biz", "", "*", 4},        {"taxoffice.gov", "", "https", 2},
      {"university.edu", "library", "http", 3},     {"university.edu", "webmail", "https", 2},
  };
  for (const Listing& l : listings) AddListing(store, l.domain, l.subdomain, l.value, l.zone);
}

void FillGeneratedSites(RegistryStore& store, int count) {
  static const char* const kValues[] = {"*", "http", "https", "ftp"};
  RunInTransaction(store, [&] {
    for (int i = 0; i < count; ++i) {
      // Four listings a domain, held by the domain key or by its one subdomain,
      // so that every listing is a row of its own.
      int key = i / 4;
      std::string domain = "site" + std::to_string(key) + ".example";
      std::string subdomain = key % 2 ? "www" : "";
      AddListing(store, domain, subdomain, kValues[i % 4], 2 + (i % 3));
    }
  });
}

}  // namespace pw::test
