// ParseSiteAddress on typical addresses: schemes, paths and queries of the
// lengths a browser's address box holds.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "intake/SiteAddress.h"

namespace pw {
namespace {

std::vector<std::string> TypicalAddresses() {
  const char* schemes[] = {"http://", "https://", "", "ftp://"};
  const char* hosts[] = {"www.example.com", "mail.example.org", "a.b.example.co.test", "news.site.net",
                         "login.bank.example", "cdn.static.example.com", "shop.example.de", "example.com"};
  const char* paths[] = {"/", "/index.html", "", "/pub/files/readme.txt", "/search?q=zone+map&lang=en",
                         "/account/login?next=%2Fhome", "/2024/03/article-title.html"};
  std::vector<std::string> addresses;
  for (int i = 0; i < 1024; ++i)
    addresses.push_back(std::string(schemes[i % 4]) + hosts[(i / 4) % 8] + paths[(i / 32) % 7]);
  return addresses;
}

void BM_ParseSiteAddress(benchmark::State& state) {
  std::vector<std::string> addresses = TypicalAddresses();
  std::size_t i = 0;
  for (auto _ : state) {
    SiteAddressParts parts = ParseSiteAddress(addresses[i++ & 1023]);
    benchmark::DoNotOptimize(parts);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseSiteAddress);

// A long address: the parse stays linear in its length.
void BM_ParseLongAddress(benchmark::State& state) {
  std::string address = "http://www.example.com/" + std::string(static_cast<std::size_t>(state.range(0)), 'a');
  for (auto _ : state) benchmark::DoNotOptimize(ParseSiteAddress(address));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(address.size()));
}
BENCHMARK(BM_ParseLongAddress)->Arg(1000)->Arg(100000)->Arg(1000000);

}  // namespace
}  // namespace pw
