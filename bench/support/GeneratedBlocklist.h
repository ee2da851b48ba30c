// A generated blocklist in the format public lists use: a comment header,
// the loopback lines, then "0.0.0.0 host" lines with CR LF, every tenth line
// holding two hosts. Each host makes a listing of its own: four in five a
// domain ("ads.trackerN.net" lists trackerN.net), one in five a subdomain key
// ("px.cdnN.adnetM.com" lists adnetM.com\*.cdnN).
#pragma once

#include <cstdio>
#include <string>

namespace pw::bench {

inline constexpr int kBlocklistHosts = 35000;

inline std::string BlocklistHost(int i, int count) {
  int n = static_cast<int>((static_cast<long long>(i) * 7919) % count);  // not in the store's order
  char host[64];
  if (n % 5 == 0) std::snprintf(host, sizeof host, "px.cdn%d.adnet%d.com", n, n % 13);
  else std::snprintf(host, sizeof host, "ads.tracker%d.net", n);
  return host;
}

inline std::string GeneratedBlocklist(int count = kBlocklistHosts) {
  std::string text =
      "# Generated blocklist\r\n#\r\n127.0.0.1 localhost\r\n::1 localhost ip6-localhost ip6-loopback\r\n\r\n";
  for (int i = 0; i < count; ++i) {
    text += "0.0.0.0 " + BlocklistHost(i, count);
    if (i % 10 == 0 && i + 1 < count) text += " " + BlocklistHost(++i, count);
    text += "\r\n";
  }
  return text;
}

}  // namespace pw::bench
