// list, parse, add, set, delete: the site listings and the address intake from
// the command line. Each verb runs the same logic as the windows.
#include <istream>
#include <ostream>
#include <sstream>

#include "Cli.h"
#include "common/Ascii.h"
#include "intake/GeneralisedListing.h"
#include "intake/SiteAddress.h"
#include "listings/ListingKeys.h"
#include "listings/ProtocolListing.h"
#include "listings/SiteList.h"
#include "listings/SiteListText.h"
#include "listings/ZoneAssignment.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"

namespace pw::cli {
namespace {

constexpr const char* kProgram = "portwarden-cli";

// A zone as list prints it, in any letter case, or by its number.
std::optional<Zone> ZoneOption(Args& args) {
  std::optional<std::string> word = args.Option("--zone");
  if (!word) return std::nullopt;
  std::string lower = AsciiLower(*word);
  for (Zone zone : {Zone::Trusted, Zone::Unclassified, Zone::Restricted})
    if (lower == AsciiLower(ZoneName(static_cast<int>(zone))) || lower == std::to_string(static_cast<int>(zone)))
      return zone;
  throw UsageError{"--zone takes trusted, unclassified or restricted (or 2, 3, 4), not '" + *word + "'"};
}

// "http", "https" or "ftp" in any letter case, in lower case; empty otherwise.
std::string ProtocolWord(const std::string& word) {
  std::string lower = AsciiLower(word);
  return lower == "http" || lower == "https" || lower == "ftp" ? lower : "";
}

std::string ZoneWords(int number) {
  const char* name = ListedZoneName(number);
  return std::to_string(number) + (name ? std::string(" (") + name + ")" : "");
}

void PrintParts(std::ostream& out, const SiteAddressParts& parts) {
  out << "{\"Verdict\":" << JsonString(AddressVerdictName(parts.Verdict))
      << ",\"AddressText\":" << JsonString(parts.AddressText) << ",\"Domain\":" << JsonString(parts.Domain)
      << ",\"SubDomain\":" << JsonString(parts.SubDomain)
      << ",\"FullSubDomain\":" << JsonString(parts.FullSubDomain) << ",\"IpText\":" << JsonString(parts.IpText)
      << "}\n";
}

// The listing named by --domain, --subdomain and --protocol, as its row would
// show it.
struct NamedListing {
  SiteRow row;
  ListingAddress address;
};

NamedListing Named(const std::string& domain, const std::string& subdomain, const std::string& text);

NamedListing ListingOption(Args& args) {
  std::optional<std::string> domain = args.Option("--domain");
  if (!domain || domain->empty()) throw UsageError{"--domain is required"};
  std::string subdomain = args.Option("--subdomain").value_or("");
  // "Default" is how list shows "*".
  std::string given = args.Option("--protocol").value_or("*");
  std::string protocol = given == "*" || AsciiLower(given) == "default" ? "Default" : ProtocolWord(given);
  if (protocol.empty())
    throw UsageError{"--protocol takes http, https, ftp, or * (also written Default), not '" + given + "'"};
  return Named(*domain, subdomain, protocol);
}

NamedListing Named(const std::string& domain, const std::string& subdomain, const std::string& text) {
  NamedListing listing;
  listing.row.domain = domain;
  listing.row.subdomain = subdomain;
  listing.row.text = text;
  listing.address = ListingAddressOf(listing.row);
  return listing;
}

// A write the store failed: the status in words, and whether it was undone.
std::string FailedBecause(Run& run, LONG status) {
  return std::to_string(status) + " (" + StatusName(status) + ")" +
         (run.Store().SupportsRollback() ? "; nothing was written" : "");
}

bool ValueExists(Run& run, const ListingAddress& address) {
  KeyHandle key;
  if (key.OpenA(run.Store(), HKEY_CURRENT_USER, address.keyPath) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  return run.Store().RegQueryValueExA(key.get(), address.valueName, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
}

// True when the value exists; otherwise says so.
bool ListingExists(Run& run, const char* verb, const NamedListing& listing) {
  bool found = ValueExists(run, listing.address);
  if (!found)
    run.env.err << kProgram << " " << verb << ": there is no listing \"" << listing.address.valueName
                << "\" in the key " << ShortListingKey(listing.row.domain, listing.row.subdomain)
                << " of the zone map; nothing was written\n";
  return found;
}

}  // namespace

int RunList(Run& run) {
  std::string format = run.args.Option("--format").value_or("table");
  run.args.Done();
  if (format != "table" && format != "tsv" && format != "json")
    throw UsageError{"--format takes table, tsv or json, not '" + format + "'"};
  if (!run.OpenStore(StoreAccess::Read)) return kExitFailure;
  // The rows and the zones their values set, from one state of the store (the
  // rebuild keeps each row's zone).
  ReadSnapshot snapshot(run.Store());
  SiteList list;
  list.Rebuild(run.Store());
  std::ostream& out = run.env.out;

  if (format == "json") {
    out << "[";
    const char* separator = "\n";
    for (const SiteRow& row : list.Rows()) {
      int zone = row.zone;
      out << separator << "{\"protocol\":" << JsonString(row.text) << ",\"subdomain\":" << JsonString(row.subdomain)
          << ",\"domain\":" << JsonString(row.domain)
          << ",\"icon\":" << (row.icon ? std::to_string(row.icon) : "null")
          << ",\"zone\":" << (zone ? std::to_string(zone) : "null")
          << ",\"name\":" << (zone ? JsonString(ListedZoneName(zone)) : "null") << "}";
      separator = ",\n";
    }
    out << (list.Count() ? "\n]\n" : "]\n");
    return kExitOk;
  }
  if (format == "tsv") {
    out << "protocol\tsubdomain\tdomain\ticon\tzone\tname\n";
    for (const SiteRow& row : list.Rows()) {
      int zone = row.zone;
      out << PlainField(row.text) << "\t" << PlainField(row.subdomain) << "\t" << PlainField(row.domain) << "\t"
          << (row.icon ? std::to_string(row.icon) : "") << "\t" << (zone ? std::to_string(zone) : "") << "\t"
          << (zone ? ListedZoneName(zone) : "") << "\n";
    }
    return kExitOk;
  }
  WriteSiteTable(out, list, run.Store());
  return kExitOk;
}

int RunParse(Run& run) {
  std::vector<std::string> words = run.args.Rest();
  if (words.empty()) throw UsageError{"give an address, or - to read addresses from standard input"};
  bool allAccepted = true;
  auto parse = [&](const std::string& address, bool single) {
    SiteAddressParts parts = ParseSiteAddress(address);
    PrintParts(run.env.out, parts);
    allAccepted = allAccepted && parts.Verdict == AddressVerdict::Accepted;
    if (single) {
      TerminalPrompter prompter(run.env);
      if (ShowAddressRefusal(prompter, parts, address))
        run.env.err << kProgram << " parse: refused: " << parts.Refused << "\n";
    }
  };
  bool single = words.size() == 1 && words[0] != "-";
  for (const std::string& word : words) {
    if (word != "-") {
      parse(word, single);
      continue;
    }
    std::string line;
    while (std::getline(run.env.in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos) continue;  // a blank line is no address
      parse(line, false);
    }
  }
  return allAccepted ? kExitOk : kExitRefused;
}

int RunAdd(Run& run) {
  std::optional<Zone> zone = ZoneOption(run.args);
  bool keep = run.args.Flag("--keep");
  std::optional<std::string> protocolList = run.args.Option("--protocols");
  std::vector<std::string> words = run.args.Rest();
  if (words.size() != 1) throw UsageError{"give exactly one address"};
  ProtocolChoices choices;
  if (protocolList) {
    // "https,ftp", "https, ftp" and "HTTPS FTP" are one list.
    std::string separated = *protocolList;
    for (char& c : separated)
      if (c == ',') c = ' ';
    std::istringstream list(separated);
    std::string word;
    while (list >> word) {
      std::string protocol = ProtocolWord(word);
      ProtocolChoice* choice = protocol == "https" ? &choices.https : protocol == "ftp" ? &choices.ftp
                             : protocol == "http" ? &choices.http : nullptr;
      if (!choice) throw UsageError{"--protocols takes a list of https, ftp and http, not '" + word + "'"};
      choice->checked = true;
      choice->zone = zone;
    }
    if (!choices.AnyChecked()) throw UsageError{"--protocols needs at least one of https, ftp and http"};
  }

  const std::string& address = words[0];
  SiteAddressParts parts = ParseSiteAddress(address);
  if (parts.Verdict != AddressVerdict::Accepted) {
    if (parts.Verdict == AddressVerdict::TooShort) {
      run.env.err << kProgram << " add: the address is too short (fewer than 6 characters); nothing was written\n";
    } else {
      TerminalPrompter prompter(run.env);
      ShowAddressRefusal(prompter, parts, address);
      run.env.err << kProgram << " add: refused: " << parts.Refused << "; nothing was written\n";
    }
    return kExitRefused;
  }

  // The listings the address makes, each with the row that would show it.
  std::string subdomain = protocolList ? parts.FullSubDomain : SubdomainKeyOf(parts.SubDomain);
  std::string key = ShortListingKey(parts.Domain, subdomain);
  std::vector<std::pair<ProtocolChoice*, NamedListing>> listings;
  if (!protocolList) listings.emplace_back(nullptr, Named(parts.Domain, subdomain, "Default"));
  for (auto [choice, name] : {std::pair{&choices.https, "https"}, std::pair{&choices.ftp, "ftp"},
                              std::pair{&choices.http, "http"}})
    if (choice->checked) listings.emplace_back(choice, Named(parts.Domain, subdomain, name));

  // A listing already there is replaced, and the user told what it was; with
  // --keep it stays as it is.
  if (!run.OpenStore()) return kExitFailure;
  std::vector<std::string> written;
  bool writeGeneralised = !protocolList;
  for (auto& [choice, listing] : listings) {
    if (!ValueExists(run, listing.address)) {
      written.push_back(listing.address.valueName);
      continue;
    }
    std::optional<int> old = ListedZone(run.Store(), listing.row);
    std::string was = old ? ZoneWords(*old) : "a value that sets no zone";
    if (keep) {
      run.env.err << kProgram << " add: kept " << key << ": \"" << listing.address.valueName << "\" = " << was << "\n";
      if (choice) choice->checked = false;
      else writeGeneralised = false;
      continue;
    }
    if (old != ZoneNumber(choice ? choice->zone : zone))
      run.env.err << kProgram << " add: replaced " << key << ": \"" << listing.address.valueName << "\" = " << was
                  << "\n";
    written.push_back(listing.address.valueName);
  }

  LONG status = ERROR_SUCCESS;
  if (writeGeneralised) status = WriteGeneralisedListing(run.Registry(), parts.Domain, parts.SubDomain, zone);
  else if (choices.AnyChecked()) status = WriteProtocolListings(run.Registry(), parts.Domain, parts.FullSubDomain, choices);
  if (status != ERROR_SUCCESS) {
    run.env.err << kProgram << " add: cannot write the listing in the key " << key << " of the zone map of the store "
                << run.Store().Describe() << ": " << FailedBecause(run, status) << "\n";
    return kExitFailure;
  }
  for (const std::string& name : written)
    run.env.out << key << ": \"" << name << "\" = " << ZoneWords(ZoneNumber(zone)) << "\n";
  return kExitOk;
}

int RunSet(Run& run) {
  std::optional<Zone> zone = ZoneOption(run.args);
  NamedListing listing = ListingOption(run.args);
  run.args.Done();
  if (!zone) throw UsageError{"--zone is required"};
  if (!run.OpenStore()) return kExitFailure;
  if (!ListingExists(run, "set", listing)) return kExitFailure;
  SiteList list;
  LONG status = AssignListingZone(list, run.Registry(), listing.address, *zone);
  if (status != ERROR_SUCCESS) {
    run.env.err << kProgram << " set: cannot write \"" << listing.address.valueName << "\" in the key "
                << ShortListingKey(listing.row.domain, listing.row.subdomain) << " of the zone map of the store "
                << run.Store().Describe() << ": " << FailedBecause(run, status) << "\n";
    return kExitFailure;
  }
  run.env.out << ShortListingKey(listing.row.domain, listing.row.subdomain) << ": \"" << listing.address.valueName
              << "\" = " << ZoneWords(static_cast<int>(*zone)) << "\n";
  return kExitOk;
}

int RunDelete(Run& run) {
  NamedListing listing = ListingOption(run.args);
  run.args.Done();
  if (!run.OpenStore()) return kExitFailure;
  if (!ListingExists(run, "delete", listing)) return kExitFailure;
  SiteList list;
  list.Rebuild(run.Store());
  ListingDeletion deletion = DeleteListing(list, run.Registry(), listing.address);
  if (deletion.removal != ERROR_SUCCESS) {
    run.env.err << kProgram << " delete: cannot delete \"" << listing.address.valueName << "\" from the key "
                << ShortListingKey(listing.row.domain, listing.row.subdomain) << " of the zone map of the store "
                << run.Store().Describe() << ": " << deletion.removal << " (" << StatusName(deletion.removal) << ")\n";
    return kExitFailure;
  }
  run.env.out << ShortListingKey(listing.row.domain, listing.row.subdomain) << ": \"" << listing.address.valueName
              << "\" deleted\n";
  if (deletion.prune != ERROR_SUCCESS) {
    run.env.err << kProgram << " delete: the keys left empty in the store " << run.Store().Describe()
                << " could not be removed: " << deletion.prune << " (" << StatusName(deletion.prune) << ")\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace pw::cli
