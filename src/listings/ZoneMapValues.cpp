#include "listings/ZoneMapValues.h"

#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"

namespace pw {
namespace {

class Walk {
 public:
  explicit Walk(RegistryStore& store) : store_(store) {}

  // Appends the values of the domain key below `parent` and of its subkeys.
  void Domain(HKEY parent, const std::string& domain, std::vector<ZoneMapValue>& values) {
    KeyHandle key = Open(parent, domain, domain, nullptr);
    if (!key) return;
    Values(key.get(), domain, nullptr, values);
    std::vector<std::string> subdomains;
    Note(ForEachSubkey(store_, key.get(),
                       [&](const std::string& name) {
                         subdomains.push_back(name);
                         return true;
                       }),
         "read the keys of", domain, nullptr);
    for (const std::string& subdomain : subdomains) {
      if (KeyHandle subKey = Open(key.get(), subdomain, domain, &subdomain))
        Values(subKey.get(), domain, &subdomain, values);
    }
  }

  // Opens `name` below `parent` for reading; empty when it cannot be.
  KeyHandle Open(HKEY parent, const std::string& name, const std::string& domain, const std::string* subdomain) {
    KeyHandle key;
    LONG status = key.Open(store_, parent, name, KEY_READ);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      Note(status, "open", domain, subdomain);  // not deleted meanwhile
    return key;
  }

  // Records the status when it is the first failure of the walk.
  void Note(LONG status, const char* action, const std::optional<std::string>& domain, const std::string* subdomain) {
    if (status == ERROR_SUCCESS || status == ERROR_NO_MORE_ITEMS || failure_.status != ERROR_SUCCESS) return;
    failure_ = {status, action, domain, subdomain ? std::optional<std::string>(*subdomain) : std::nullopt};
  }

  const ZoneMapReadFailure& Failure() const { return failure_; }

 private:
  void Values(HKEY key, const std::string& domain, const std::string* subdomain, std::vector<ZoneMapValue>& values) {
    Note(ForEachValue(store_, key,
                      [&](const EnumeratedValue& value) {
                        values.push_back({domain, subdomain ? *subdomain : "", value.name, value.type, value.data});
                        return true;
                      }),
         "read the values of", domain, subdomain);
  }

  RegistryStore& store_;
  ZoneMapReadFailure failure_;
};

}  // namespace

ZoneMapReadFailure ForEachZoneMapDomain(
    RegistryStore& store, const std::function<void(const std::string&, const std::vector<ZoneMapValue>&)>& visit) {
  Walk walk(store);
  KeyHandle base;
  LONG status = base.Open(store, HKEY_CURRENT_USER, kDomainsPath, KEY_READ);
  if (status != ERROR_SUCCESS) {
    if (status != ERROR_FILE_NOT_FOUND) walk.Note(status, "open", std::nullopt, nullptr);
    return walk.Failure();
  }
  std::vector<ZoneMapValue> values;
  walk.Note(ForEachSubkey(store, base.get(),
                          [&](const std::string& domain) {
                            values.clear();
                            walk.Domain(base.get(), domain, values);
                            visit(domain, values);
                            return true;
                          }),
            "read the keys of", std::nullopt, nullptr);
  return walk.Failure();
}

std::vector<ZoneMapValue> ReadZoneMapDomain(RegistryStore& store, const std::string& domain) {
  std::vector<ZoneMapValue> values;
  KeyHandle base;
  if (base.Open(store, HKEY_CURRENT_USER, kDomainsPath, KEY_READ) != ERROR_SUCCESS) return values;
  Walk(store).Domain(base.get(), domain, values);
  return values;
}

}  // namespace pw
