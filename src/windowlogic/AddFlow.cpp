#include "windowlogic/AddFlow.h"

#include "intake/GeneralisedListing.h"
#include "intake/SiteAddress.h"
#include "listings/ListingKeys.h"

namespace pw {

void RunAddFlow(AddFlowWindow& main, const std::function<void()>& show,
                const std::function<void()>& close) {
  show();
  if (main.Tag() == kKillMe) {
    main.Tag().clear();
    close();
  }
}

std::optional<VerificationListing> LoadVerification(AddFlowWindow& main, Prompter& prompter) {
  std::string address = main.AddressBoxText();
  SiteAddressParts parts = ParseSiteAddress(address);
  if (parts.Verdict == AddressVerdict::Accepted || parts.Verdict == AddressVerdict::CorruptedUrl)
    main.SetAddressBoxText(parts.AddressText);
  if (parts.Verdict != AddressVerdict::Accepted) {
    ShowAddressRefusal(prompter, parts, address);
    main.Tag() = kKillMe;
    return std::nullopt;
  }
  return VerificationListing{parts.SubDomain, parts.Domain, parts.FullSubDomain};
}

void ReportWriteStatus(StoreFailureReporter& reporter, const RegistryStore& store, LONG status,
                       const std::string& key) {
  if (status == ERROR_SUCCESS) return;
  reporter.Report(
      {store.Describe(), "write",
       "the key " + key + " of the zone map could not be written (" + StatusName(status) + ")",
       status});
}

void WriteVerifiedListing(Registry& registry, StoreFailureReporter& reporter,
                          const VerificationListing& listing, std::optional<Zone> zone) {
  LONG status = WriteGeneralisedListing(registry, listing.domain, listing.subDomain, zone);
  std::string key =
      ShortListingKey(listing.domain, listing.subDomain == "*" ? "" : listing.subDomain);
  ReportWriteStatus(reporter, registry.Store(), status, key);
}

ProtocolChoice& RowOf(ProtocolChoices& rows, int row) {
  return row == 0 ? rows.https : row == 1 ? rows.ftp : rows.http;
}

RowLook UpdateRow(ProtocolChoice& row) {
  if (!row.checked) {
    row.zone.reset();
    return {5, false};
  }
  return {2, true};
}

bool ClickRowPicture(ProtocolChoice& row, Zone zone) {
  if (!row.checked) return false;
  row.zone = zone;
  return true;
}

bool WriteEditedProtocols(Registry& registry, StoreFailureReporter& reporter,
                          const std::string& domain, const std::string& subDomain,
                          const ProtocolChoices& rows) {
  if (!rows.AnyChecked()) return false;
  LONG status = WriteProtocolListings(registry, domain, subDomain, rows);
  ReportWriteStatus(reporter, registry.Store(), status, ShortListingKey(domain, subDomain));
  return true;
}

}  // namespace pw
