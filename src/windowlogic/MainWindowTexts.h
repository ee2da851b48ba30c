// The main window's fixed texts and the zone line's place and words: what
// every window of it shows, whatever draws it.
#pragma once

#include <string>
#include <vector>

#include "registry/RegistryStore.h"
#include "windowlogic/MainWindowLayout.h"

namespace pw {

inline constexpr const char* kMainWindowCaption = "PORTWARDEN - Script Security and Trusted Sites Manager";

struct ButtonText {
  const char* name;
  const char* caption;
  const char* toolTip;  // null: none
};
// cmdTrust, cmdDeclassify, cmdRestrict, cmdAdd, cmdPrint, cmdDelete, cmdAddd.
const std::vector<ButtonText>& MainWindowButtonTexts();

inline constexpr const char* kHelpCaption = "Help";
inline constexpr const char* kHelpToolTip = "Need to know more? Just press this button!";
inline constexpr const char* kAddressToolTip =
    "Just click the \"Add\" Button to add the site in this box to the list, or type in another address...";
inline constexpr const char* kListHeadings[3] = {"Protocol", "Subdomain", "Trusted Website Domains"};

// A row of the legend: its picture of ImageList11 and its text.
struct LegendText {
  const char* image;
  int picture;
  const char* label;
  const char* caption;
};
const std::vector<LegendText>& MainWindowLegendTexts();

// The legend's texts are longer than their labels hold in the window font: a
// label takes the largest size from `points` down to 6.5 points, in quarter
// points, at which `fits` says its text does.
template <typename Fits>
double FittedLegendPoints(double points, Fits fits) {
  for (; points > 6.5; points -= 0.25)
    if (fits(points)) return points;
  return 6.5;
}

// The zone line above the address box: from 60 twips right of cmdAdd to 60
// left of cmdPrint. Empty when the window leaves no room.
TwipRect ZoneLinePlace(const MainWindowLayout& layout);

// What the zone line shows for the address box's text, read from the store
// now: its lines (the first one bold) and the tool tip holding it in full.
// Nothing for an empty box.
struct ZoneLineText {
  std::vector<std::string> lines;
  std::string toolTip;
};
ZoneLineText ZoneLineFor(RegistryStore& store, const std::string& typed);

// The help's messages: none found, and none shown for `path`.
inline constexpr const char* kHelpTitle = "Portwarden Help";
std::string HelpMissingMessage();
std::string HelpNotShownMessage(const std::string& path);

}  // namespace pw
