// The add flow's two dialogs as designed: their controls and places, in twips.
#pragma once

#include <array>
#include <vector>

#include "listings/Zones.h"
#include "windowlogic/MainWindowLayout.h"

namespace pw {

// Every control of the verification dialog VerifyListingDialog, containers before their
// children, and its client size.
const std::vector<DesignControl>& VerifyListingDesign();
inline constexpr int kVerifyListingClientWidth = 6255;
inline constexpr int kVerifyListingClientHeight = 3495;

// The verification dialog's three choices, Trusted, Unclassified, Restricted.
inline constexpr std::array<const char*, 3> kVerifyListingOptions = {"Option7", "Option8", "Option9"};
inline constexpr std::array<const char*, 3> kVerifyListingPictures = {"Image7", "Image8", "Image9"};

// Every control of the per-protocol editor ProtocolListingDialog, containers before their
// children and check boxes after their frames, and its client size.
const std::vector<DesignControl>& ProtocolListingDesign();
inline constexpr int kProtocolListingClientWidth = 6135;
inline constexpr int kProtocolListingClientHeight = 5235;

// A protocol row of ProtocolListingDialog: its frame, check box, caption, and its options and
// pictures for Trusted, Unclassified and Restricted.
struct ProtocolRowDesign {
  const char* frame;
  const char* check;
  const char* caption;
  std::array<const char*, 3> options;
  std::array<const char*, 3> pictures;
};
// HTTPS, FTP, HTTP, top to bottom.
const std::array<ProtocolRowDesign, 3>& ProtocolListingRows();

// The choices' captions, Trusted, Unclassified, Restricted.
inline constexpr std::array<const char*, 3> kChoiceCaptions = {ZoneName(2), ZoneName(3), ZoneName(4)};

// The dialogs' fixed texts.
inline constexpr const char* kSubDomainCaption = "Listing the SubDomain:";
inline constexpr const char* kDomainCaption = "At the Domain:";
inline constexpr const char* kSubDomainToolTip = "\"*\" stands for any name in its place: www, mail or any other.";
inline constexpr const char* kChoicesFrameTitle = "Global Status";
inline constexpr const char* kAdvancedCaption = "Advanced";
inline constexpr const char* kAdvancedToolTip = "Classify the exact subdomain separately for HTTPS, FTP and HTTP.";
inline constexpr const char* kProtocolsCaption = "Status by Protocol:";

}  // namespace pw
