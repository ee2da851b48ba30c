// The sample of addresses the real browser test loads, to hold the model of
// the browsers' pattern precedence to the real Chromium:
//   policy-sample make STORE       writes a random zone map (fixed seed, names
//                                  under .test) into a new store, with
//                                  listings whose patterns meet each rule of
//                                  the precedence the model claims
//   policy-sample expect STORE ROOT  prints for each sample address "ADDRESS
//                                  ran" or "ADDRESS blocked", as the model
//                                  decides under the policy files in ROOT
//                                  (managed/ and recommended/portwarden.json)
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "ChromiumPolicyModel.h"
#include "RandomZoneMap.h"
#include "ZoneMap.h"
#include "enforcement/PolicyFiles.h"
#include "policy/NewStoreLayout.h"
#include "registry/SqliteStore.h"

namespace {

constexpr unsigned kSeed = 7;
constexpr std::size_t kAddresses = 20;  // random ones, besides those chosen

// The sample's addresses, served on loopback: http on 8080, https on 8443.
std::vector<std::string> SampleAddresses() {
  pw::test::ZoneMapGenerator g(kSeed, {"test"});
  pw::test::RandomZoneMap map = g.Map();
  std::vector<std::string> addresses = {
      // A narrower Unclassified listing under a Trusted domain.
      "http://www.trusted-site.test:8080/", "https://www.trusted-site.test:8443/", "http://trusted-site.test:8080/",
      // The host before the scheme: "www.prec.test" over "http://[*.]prec.test:*".
      "http://www.prec.test:8080/", "http://x.prec.test:8080/", "https://x.prec.test:8443/",
      // An exact host over "[*.]" of the same name, and a longer "[*.]" name
      // over a shorter: "a.nest.test", "[*.]a.nest.test", "[*.]nest.test".
      "http://a.nest.test:8080/", "http://x.a.nest.test:8080/", "https://y.x.a.nest.test:8443/",
      "http://www.nest.test:8080/"};
  std::set<std::string> seen(addresses.begin(), addresses.end());
  std::size_t wanted = addresses.size() + kAddresses;
  for (int tries = 0; addresses.size() < wanted && tries < 10000; ++tries) {
    auto [scheme, host] = g.Address(map);
    std::string address = scheme + "://" + host + (scheme == "http" ? ":8080/" : ":8443/");
    if (seen.insert(address).second) addresses.push_back(address);
  }
  return addresses;
}

int Make(const std::string& path) {
  pw::SqliteStore::OpenResult opened = pw::SqliteStore::Open(path, pw::LayOutNewStore);
  if (!opened.store) {
    std::fprintf(stderr, "policy-sample: %s\n", opened.error.c_str());
    return 1;
  }
  pw::test::ZoneMapGenerator g(kSeed, {"test"});
  pw::test::WriteZoneMap(*opened.store, g.Map());
  pw::test::ZoneMap map(*opened.store);
  map.SetZone("trusted-site.test", "*", 2);
  map.SetZone("trusted-site.test\\www", "http", 3);
  map.SetZone("prec.test", "http", 2);
  map.SetZone("www.prec.test", "*", 4);
  map.SetZone("nest.test", "*", 2);
  map.SetZone("nest.test\\*.a", "*", 4);
  return 0;
}

int Expect(const std::string& root) {
  pw::ScriptPolicy policy;
  const char* levels[] = {"managed", "recommended"};
  for (int i = 0; i < 2; ++i) {
    std::string path = root + "/" + levels[i] + "/portwarden.json";
    std::ifstream file(path);
    std::optional<std::string> text;
    if (file) text = std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    std::optional<pw::ScriptPolicy> read =
        text ? pw::ParsePolicyFile(*text, i ? pw::PolicyLevel::Recommended : pw::PolicyLevel::Managed) : std::nullopt;
    if (!read) {
      std::fprintf(stderr, "policy-sample: cannot read %s\n", path.c_str());
      return 1;
    }
    if (i == 0) {
      policy.managedDefault = read->managedDefault;
      policy.blocked = read->blocked;
      policy.allowed = read->allowed;
    } else {
      policy.recommendedDefault = read->recommendedDefault;
    }
  }
  for (const std::string& address : SampleAddresses()) {
    std::size_t colon = address.find("://");
    std::string host = address.substr(colon + 3, address.rfind(':') - colon - 3);
    bool runs = pw::test::ChromiumRunsScripts(policy, address.substr(0, colon), host);
    std::printf("%s %s\n", address.c_str(), runs ? "ran" : "blocked");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "make" && argc == 3) return Make(argv[2]);
  if (verb == "expect" && argc == 4) return Expect(argv[3]);
  std::fprintf(stderr, "usage: policy-sample make STORE | expect STORE POLICYROOT\n");
  return 2;
}
