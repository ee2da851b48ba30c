// Adding a site from the main window, free of any window toolkit: the add
// flow and its close request, the verification dialog's load step and OK, and
// the per-protocol editor's rows and OK. The dialogs show what this decides.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "common/Prompter.h"
#include "listings/ProtocolListing.h"
#include "listings/Zones.h"
#include "registry/Registry.h"
#include "windowlogic/StoreFailureReporter.h"

namespace pw {

inline constexpr const char* kVerifyListingCaption = "Verify Generalised Domain Listing";
inline constexpr const char* kProtocolListingCaption = "Verify subdomain and access type listing";
// The close request a refusing load step leaves in the main window's tag.
inline constexpr const char* kKillMe = "Kill Me";

// What the add flow needs of the main window.
class AddFlowWindow {
 public:
  virtual ~AddFlowWindow() = default;
  // The text of txtURL.
  virtual std::string AddressBoxText() const = 0;
  virtual void SetAddressBoxText(const std::string& text) = 0;
  // The main window's tag: empty but for a close request.
  virtual std::string& Tag() = 0;
};

// The verification dialog's listing while it is open: its two labels and the
// hidden tag of lblSubDomain, which the per-protocol editor reads.
struct VerificationListing {
  std::string subDomain;      // lblSubDomain's caption: "*" or "*." and the middle labels
  std::string domain;         // lblDomain's caption
  std::string fullSubDomain;  // lblSubDomain's tag: every label in front of the domain
};

// The add flow: `show` shows the verification dialog (made and loaded when it
// is not open yet, else only brought to the front); a close request that its
// load step left in the tag is then taken back and `close` closes it.
void RunAddFlow(AddFlowWindow& main, const std::function<void()>& show,
                const std::function<void()>& close);

// The verification dialog's load step on the text of txtURL. An accepted
// address puts its cut text into txtURL and gives the listing to show. A
// refused one gives nothing and leaves the close request in the tag: a
// corrupted address puts its cut text into txtURL and then shows its message,
// an IP address shows its message and leaves txtURL alone, a short text shows
// nothing.
std::optional<VerificationListing> LoadVerification(AddFlowWindow& main, Prompter& prompter);

// Records a writer's failing status with the reporter, naming the store and the
// key. A failure the store itself reported in the same action is the one shown.
void ReportWriteStatus(StoreFailureReporter& reporter, const RegistryStore& store, LONG status,
                       const std::string& key);

// The verification dialog's OK: writes "*" with the chosen zone (Unclassified
// when none) on the domain key, or on the key of a subdomain other than "*",
// and records a failure with the reporter.
void WriteVerifiedListing(Registry& registry, StoreFailureReporter& reporter,
                          const VerificationListing& listing, std::optional<Zone> zone);

// The dialogs' three choices, left to right.
inline constexpr std::array<Zone, 3> kChoiceZones = {Zone::Trusted, Zone::Unclassified,
                                                     Zone::Restricted};

// The per-protocol editor's rows, top to bottom: HTTPS, FTP, HTTP.
inline constexpr int kProtocolRows = 3;

// The row's check box and choice, by its 0-based place.
ProtocolChoice& RowOf(ProtocolChoices& rows, int row);

// How the row update shows a row: its three pictures, from `firstPicture` of
// ImageList11 on, and whether its options and pictures take clicks.
struct RowLook {
  int firstPicture;
  bool enabled;
};

// The row update: a checked row shows pictures 2 to 4 and takes clicks, keeping
// its choice; a clear row shows the grey 5 to 7, takes none and loses its choice.
RowLook UpdateRow(ProtocolChoice& row);

// A click on the row's picture of `zone`: chooses it when the row is checked.
// Returns whether it did.
bool ClickRowPicture(ProtocolChoice& row, Zone zone);

// The per-protocol editor's OK. With no row checked it does nothing and returns
// false: the editor stays open. Otherwise writes the checked rows into the key
// of `subDomain` under `domain` (the domain key for an empty subdomain),
// records a failure with the reporter, and returns true: the editor closes.
bool WriteEditedProtocols(Registry& registry, StoreFailureReporter& reporter,
                          const std::string& domain, const std::string& subDomain,
                          const ProtocolChoices& rows);

}  // namespace pw
