// Which zone the browser engine gives an address, and which listing of the
// zone map decides it. The site list shows what is written; this answers what
// applies, by the engine's own rules (the help page "Which zone applies" gives
// them with examples):
// - HKEY_CURRENT_USER's map first, then HKEY_LOCAL_MACHINE's.
// - Within a hive the domain keys that match the host are tried from the most
//   specific to the least: the host itself, "*." and the host without its first
//   label, then the host's suffixes from the longest to the shortest, each
//   followed by the "*." key that stands for it with its first label open.
// - A domain key equal to the host (or a "*.b" one covering it) decides by its
//   own values. A shorter domain key decides by its subdomain key for the labels
//   in front (the exact name before a "*.b" covering one label), or, when it has
//   none, by its own values, but only when the key is a domain of its own
//   ("example.com" is, "www.example.com" and "com" are not).
// - A key decides by the value named by the scheme, else by "*" (REG_DWORD
//   only). A key that matches but holds neither decides nothing, and its domain
//   key's own values are then passed over; the search goes on with the next
//   domain key.
// - Addresses by number are not looked up in the domain keys (the Ranges key
//   decides, which Portwarden does not manage); schemes other than http, https
//   and ftp are not answered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw {

struct ZoneAddress;

enum class ZoneVerdict {
  Listed,       // a listing decides
  NotListed,    // no listing applies: the Internet zone
  ByNumber,     // an address by number: the Internet zone unless a range says otherwise
  NotAnswered,  // not an http, https or ftp address, or not an address at all
};

// A key of the zone map (and a value in it, when one decides).
struct ZoneMapKey {
  HKEY hive = HKEY_CURRENT_USER;
  std::string domain;     // the domain key's name
  std::string subdomain;  // the subdomain key's name, empty for the domain key itself
  std::string valueName;  // the deciding value: the scheme or "*"
};

struct ZoneAnswer {
  ZoneVerdict verdict = ZoneVerdict::NotAnswered;
  std::string scheme;  // lower case
  std::string host;    // as looked up: lower case, escapes decoded
  std::uint32_t zone = 3;
  ZoneMapKey listing;  // Listed
  // A value of fewer than four bytes decided: the engine reads a number that
  // was never written in full.
  bool damaged = false;
  // The first key that matched the host but held no value for its scheme:
  // it kept its domain key's own values from applying.
  std::optional<ZoneMapKey> passedOver;
  std::string reason;   // NotAnswered: why
  std::string refusal;  // NotAnswered: "not an address" or "not answered"
};

// The zone the engine maps `url` to from the zone maps in `store`. Looks up the
// keys the host could match; never scans the map. Reads in one snapshot.
ZoneAnswer ZoneForUrl(RegistryStore& store, std::string_view url);

// The same for an address already read (ReadZoneAddress). One that could not
// be read is answered without the store, which may then be null.
ZoneAnswer ZoneForAddress(RegistryStore* store, ZoneAddress address);

// Where the lookup reads the zone maps: a store, or a copy of some of their
// keys in memory (ZoneMapCopy). Keys are numbers the source gives out, 0 for
// none; each one given out is released once.
class ZoneMapSource {
 public:
  virtual ~ZoneMapSource() = default;
  // The hive's Domains key.
  virtual std::uint32_t Domains(HKEY hive) = 0;
  // The subkey `name` (one key name; letter case aside).
  virtual std::uint32_t Child(std::uint32_t parent, const std::string& name) = 0;
  // True when the key's value `name` is a REG_DWORD of at most four bytes,
  // with the number the engine reads from it (bytes missing at the end are
  // 0xFF) and whether bytes were missing.
  virtual bool DwordValue(std::uint32_t key, const std::string& name, std::uint32_t& number, bool& damaged) = 0;
  virtual void Release(std::uint32_t key) = 0;
};

// The same for an address already read: the scheme ("http", "https" or "ftp")
// and the host as looked up (lower case, escapes decoded, no port).
ZoneAnswer ZoneForHost(ZoneMapSource& source, std::string_view scheme, std::string_view host);

}  // namespace pw

