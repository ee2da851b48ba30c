#include "windowlogic/MainWindowTexts.h"

#include <filesystem>

#include "listings/ZoneAddress.h"
#include "listings/ZoneAnswerText.h"
#include "listings/ZoneForUrl.h"
#include "windowlogic/HelpFile.h"

namespace pw {

const std::vector<ButtonText>& MainWindowButtonTexts() {
  static const std::vector<ButtonText> texts = {
      {"cmdTrust", "Trust",
       "Trust me only if I am a bank or escrow provider you would trust with your life savings. Sites marked as "
       "trusted are allowed to run any script on your computer and are not constrained by Portwarden Security "
       "settings."},
      {"cmdDeclassify", "Declassify",
       "This is for declssified sites, or those sites under consideration for Trusted or Restricted Status. The "
       "Portwarden security settings you have chosen apply to these sites."},
      {"cmdRestrict", "Restrict",
       "This places the site on the restricted sites list, disabling all site access to standard client side "
       "functions."},
      {"cmdAdd", "Add", "This adds the site below to the list where you can assign scripting privileges."},
      {"cmdPrint", "Print", "This prints the Portwarden Script Security Report"},
      {"cmdDelete", "Delete",
       "This deletes the site from this list AND therefore declassifies the deleted site, subjecting it to the "
       "Portwarden security settings you have chosen."},
      {"cmdAddd", "Add", nullptr},
  };
  return texts;
}

const std::vector<LegendText>& MainWindowLegendTexts() {
  static const std::vector<LegendText> texts = {
      {"Image2", 2, "Label1",
       "Can run any script on your computer - Only for Banks and Escrow providers you can trust with your life "
       "savings!"},
      {"Image3", 3, "Label3",
       "Unclassified - sites under consideration for Trusted or Restricted Status - Selected Portwarden Settings "
       "apply."},
      {"Image4", 4, "Label4",
       "Restricted - the site is not allowed any standard access to client side functions. This is for malicious "
       "sites."},
      {"Image5", 11, "Label5",
       "Delete Site - This removes the site from the list when it no longer warrants Trusted or Restricted "
       "Status."},
  };
  return texts;
}

TwipRect ZoneLinePlace(const MainWindowLayout& layout) {
  const TwipRect& add = layout.places.at("cmdAdd");
  const TwipRect& print = layout.places.at("cmdPrint");
  const TwipRect& box = layout.places.at("txtURL");
  TwipRect place{add.left + add.width + 60, 60, 0, box.top - 80};
  place.width = print.left - 60 - place.left;
  return place.width >= 600 ? place : TwipRect{};
}

ZoneLineText ZoneLineFor(RegistryStore& store, const std::string& typed) {
  ZoneLineText shown;
  std::string address = AddressAsTyped(typed);
  if (address.empty()) return shown;
  ZoneAnswer answer = ZoneForUrl(store, address);
  shown.lines = ZoneAnswerLines(answer);
  std::string name = ZoneAnswerName(answer);
  shown.toolTip = address + ": " + (name.empty() ? "" : name + ", ") + ZoneAnswerReason(answer);
  return shown;
}

std::string HelpMissingMessage() {
  return std::string("The help could not be found: neither ") + kHelpFileName +
         " nor the help pages are beside the program.";
}

std::string HelpNotShownMessage(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return "The help could not be shown: no program on this desktop opened " + path +
         ". The help pages are in the folder " + folder + "; open index.html there in a web browser.";
}

}  // namespace pw
