#include "windowlogic/AccessibleTexts.h"

#include "listings/SiteListText.h"

namespace pw {
namespace {

struct ControlEntry {
  const char* window;
  const char* control;
  AccessibleText text;
};

constexpr ControlEntry kEntries[] = {
    // The main window.
    {"FormX", "pSecured", {"Security state", ""}},
    {"FormX", "pSemisecure", {"Security state", ""}},
    {"FormX", "pUnsecure", {"Security state", ""}},
    {"FormX", "Image7",
     {"Secured", "The Internet zone is secured: scripts and plugins run only for sites on the trusted list. Press "
                 "for more information."}},
    {"FormX", "Image6",
     {"Semi-secured", "The Internet zone is semi-secured: the browser asks before scripts or plugins run. Press for "
                      "more information and to secure it."}},
    {"FormX", "ImageSecure",
     {"Unsecured", "The Internet zone is unsecured: any site can run scripts or plugins. Press for more information "
                   "and to secure it."}},
    {"FormX", "cmdTrust",
     {"", "Sets the selected listing to Trusted. Trust me only if I am a bank or escrow provider you would trust "
          "with your life savings."}},
    {"FormX", "cmdDeclassify",
     {"", "Sets the selected listing to Unclassified, for sites under consideration for Trusted or Restricted "
          "Status. The Portwarden security settings you have chosen apply to these sites."}},
    {"FormX", "cmdRestrict",
     {"", "Sets the selected listing to Restricted, disabling all site access to standard client side functions."}},
    {"FormX", "cmdPrint", {"", "Prints the Portwarden Scripting Privilege Report of the site list."}},
    {"FormX", "cmdDelete",
     {"", "Deletes the selected listing from the list, which declassifies the site. The Delete key in the list does "
          "the same."}},
    {"FormX", "cmdHelp", {"", "Opens the help. F1 does the same."}},
    {"FormX", "cmdAddd", {"", "Adds the site in the address box to the list, as Add does."}},
    {"FormX", "txtURL", {"Address", ""}},
    {"FormX", "LVw",
     {"Site list", "The listed sites, a row for each listing: protocol, subdomain, domain and zone. Trust, "
                   "Declassify, Restrict and Delete act on the selected row; the Delete key deletes it. Ctrl+1, "
                   "Ctrl+2 and Ctrl+3 sort by protocol, subdomain and domain, again to reverse."}},
    {"FormX", "Frame1", {"Portwarden", ""}},
    {"FormX", "Image1", {"Portwarden", "The product picture."}},
    {"FormX", "Image2", {"Trusted", "The picture of Trusted listings, in the list and on the Trust button."}},
    {"FormX", "Image3",
     {"Unclassified", "The picture of Unclassified listings, in the list and on the Declassify button. Press to "
                      "reload the site list."}},
    {"FormX", "Image4", {"Restricted", "The picture of Restricted listings, in the list and on the Restrict button."}},
    {"FormX", "Image5", {"Delete", "The picture of the Delete button."}},
    {"FormX", "lblZone", {"Zone of the address", ""}},
    // The verification dialog.
    {"FormZ", "lblSubDomain", {"", "The subdomain listed: \"*\" stands for any name in its place."}},
    {"FormZ", "lblDomain", {"", "The domain listed."}},
    {"FormZ", "Option7", {"", "Lists the site as Trusted for all protocols: it can run any script on your computer."}},
    {"FormZ", "Option8",
     {"", "Lists the site as Unclassified for all protocols: the Portwarden security settings apply to it."}},
    {"FormZ", "Option9",
     {"", "Lists the site as Restricted for all protocols: it gets no standard access to client side functions."}},
    {"FormZ", "Image7", {"Trusted", "The picture of Trusted listings."}},
    {"FormZ", "Image8", {"Unclassified", "The picture of Unclassified listings."}},
    {"FormZ", "Image9", {"Restricted", "The picture of Restricted listings."}},
    {"FormZ", "Command1", {"", "Lists the site with the classification chosen, Unclassified when none is."}},
    {"FormZ", "Command2", {"", "Closes without listing the site. Escape does the same."}},
    {"FormZ", "Frame4", {"Portwarden", ""}},
    {"FormZ", "Image10", {"Portwarden", "The product picture."}},
    // The per-protocol editor.
    {"FormY", "lblSubDomain", {"", "The exact subdomain listed."}},
    {"FormY", "lblDomain", {"", "The domain listed."}},
    {"FormY", "Frame1", {"HTTPS", ""}},
    {"FormY", "Frame2", {"FTP", ""}},
    {"FormY", "Frame3", {"HTTP", ""}},
    {"FormY", "Check1", {"", "Lists the site for HTTPS, with the classification chosen beside it."}},
    {"FormY", "Check2", {"", "Lists the site for FTP, with the classification chosen beside it."}},
    {"FormY", "Check3", {"", "Lists the site for HTTP, with the classification chosen beside it."}},
    {"FormY", "Option1", {"", "HTTPS: Trusted."}},
    {"FormY", "Option2", {"", "HTTPS: Unclassified."}},
    {"FormY", "Option3", {"", "HTTPS: Restricted."}},
    {"FormY", "Option4", {"", "FTP: Trusted."}},
    {"FormY", "Option5", {"", "FTP: Unclassified."}},
    {"FormY", "Option6", {"", "FTP: Restricted."}},
    {"FormY", "Option7", {"", "HTTP: Trusted."}},
    {"FormY", "Option8", {"", "HTTP: Unclassified."}},
    {"FormY", "Option9", {"", "HTTP: Restricted."}},
    {"FormY", "Image2", {"Trusted", "The picture of Trusted, for HTTPS."}},
    {"FormY", "Image3", {"Unclassified", "The picture of Unclassified, for HTTPS."}},
    {"FormY", "Image4", {"Restricted", "The picture of Restricted, for HTTPS."}},
    {"FormY", "Image1", {"Trusted", "The picture of Trusted, for FTP."}},
    {"FormY", "Image5", {"Unclassified", "The picture of Unclassified, for FTP."}},
    {"FormY", "Image6", {"Restricted", "The picture of Restricted, for FTP."}},
    {"FormY", "Image7", {"Trusted", "The picture of Trusted, for HTTP."}},
    {"FormY", "Image8", {"Unclassified", "The picture of Unclassified, for HTTP."}},
    {"FormY", "Image9", {"Restricted", "The picture of Restricted, for HTTP."}},
    {"FormY", "Command1", {"", "Lists the site for each protocol checked, with the classification chosen for it."}},
    {"FormY", "Command2", {"", "Closes without listing the site. Escape does the same."}},
    {"FormY", "Frame4", {"Portwarden", ""}},
    {"FormY", "Image10", {"Portwarden", "The product picture."}},
};

}  // namespace

AccessibleText AccessibleTextOf(std::string_view window, std::string_view control) {
  for (const ControlEntry& entry : kEntries)
    if (window == entry.window && control == entry.control) return entry.text;
  return {"", ""};
}

std::string PictureMeaning(int index) {
  switch (index) {
    case 1: case 8: return "Portwarden";
    case 2: return "Trusted";
    case 3: return "Unclassified";
    case 4: return "Restricted";
    case 5: return "Trusted, not chosen";
    case 6: return "Unclassified, not chosen";
    case 7: return "Restricted, not chosen";
    case 9: return "Secured";
    case 10: return "Not secured";
    case 11: return "Delete";
    default: return "";
  }
}

std::array<std::string, 4> SiteRowReading(const SiteRow& row) {
  // The picture is the zone number the value holds, as the list shows it.
  const char* zone = row.icon ? ListedZoneName(row.icon) : nullptr;
  return {row.text.empty() ? "no protocol" : row.text, row.subdomain.empty() ? "no subdomain" : row.subdomain,
          row.domain, zone ? zone : row.icon ? "zone picture " + std::to_string(row.icon) : "no zone"};
}

}  // namespace pw
