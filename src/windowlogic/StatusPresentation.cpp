#include "windowlogic/StatusPresentation.h"

namespace pw {
namespace {

constexpr const char* kSecureToolTip =
    "Click this button to disable scripts and plugins from sites not on the Trusted Sites List";

constexpr const char* kSecuredText =
    "All scripts and plugins will be ignored by Internet Explorer unless the site of origin is on "
    "your trusted sites list. WARNING! Many browsers other than Internet Explorer fail to comply with "
    "Windows Internet Security Settings and may pose a security risk by running scripts and or "
    "plugins regardless of this setting.";

const StatePresentation kSecured = {
    "De-Secure",
    "Click this button to allow scripts and plugins to run from any site by restoring the default "
    "settings for Windows Internet Security. WARNING! This is NOT recommended and should only be "
    "performed as a last resort and for a limited time.",
    9, StatusPanel::Secured, kSecuredText};

const StatePresentation kSemiSecured = {
    "Secure", kSecureToolTip, 10, StatusPanel::SemiSecure,
    "You will be notified by Internet Explorer of any scripts or plugins that attempt to run. CAUTION "
    "Should you be typing at the time of the notification, there is a risk that your some of "
    "keystrokes could be applied to the notifications with unpredictable results."};

const StatePresentation kUnsecured = {
    "Secure", kSecureToolTip, 10, StatusPanel::Unsecure,
    "WARNING! Any site can run scripts or plugins on your computer without your consent or knowledge "
    "and these scripts or plugins could be used to harm your system or invade your privacy. Click the "
    "'Secure' button adjacent to this panel to disable scripts and plugins on all but Trusted Sites."};

constexpr const char* kUnsecureToolTipStart =
    "WARNING! Any site can run scripts or plugins on your computer without your consent or knowledge "
    "and these scripts or plugins could be used to harm your system or invade your privacy. ";

const PanelDesign kSecuredPanel = {
    "pSecured", "Label7", "Scripts/Plugins", "Label8", "Secured", "Image7",
    "All scripts and plugins will be ignored by Internet Explorer unless the site of origin is on "
    "your trusted sites list. Click for more information.",
    "All scripts and plugins will be ignored by Internet Explorer unless the site of origin is on "
    "your trusted sites list. Click for more information."};

const PanelDesign kSemiSecurePanel = {
    "pSemisecure", "Label2", "Caution", "Label6", "Semi-secured!", "Image6",
    "You will be notified by Internet Explorer of any scripts or plugins that attempt to run. "
    "CAUTION  Click for more information.",
    "You will be notified by Internet Explorer of any scripts or plugins that attempt to run. "
    "CAUTION  Click for more information."};

// The picture's tool tip differs from the labels' in one word, as designed.
const std::string kUnsecureLabelTip = std::string(kUnsecureToolTipStart) + "Click  for more information.";
const std::string kUnsecurePictureTip =
    std::string(kUnsecureToolTipStart) + "Click  fore more information.";
const PanelDesign kUnsecurePanel = {"pUnsecure", "lblWarning",          "Warning!",
                                    "Label9",    "Unsecured!",          "ImageSecure",
                                    kUnsecureLabelTip.c_str(), kUnsecurePictureTip.c_str()};

constexpr const char* kRaiseTitle = "Raise the Portwarden?";

const PanelExplanation kSecuredExplanation = {"The Portwarden is Raised.", kSecuredText, MsgButtons::Ok};
const PanelExplanation kSemiSecureExplanation = {
    kRaiseTitle,
    "You will be notified by Internet Explorer of any scripts or plugins that attempt to run. "
    "CAUTION! Should you be typing at the time of the notification, there is a risk that your some "
    "of keystrokes could be applied to the notifications with unpredictable results. Do you wish to "
    "remedy this situation?",
    MsgButtons::YesNo};
const PanelExplanation kUnsecureExplanation = {
    kRaiseTitle,
    "Your security could be compromised at any time by hostile scripts or plugins. Do you wish to "
    "remedy this situation?",
    MsgButtons::YesNo};

}  // namespace

const StatePresentation& PresentationFor(ZoneSecurityState state) {
  switch (static_cast<int>(state)) {
    case 0: return kSecured;
    case 1: return kSemiSecured;
    default: return kUnsecured;
  }
}

const PanelDesign& DesignOf(StatusPanel panel) {
  switch (panel) {
    case StatusPanel::Secured: return kSecuredPanel;
    case StatusPanel::SemiSecure: return kSemiSecurePanel;
    case StatusPanel::Unsecure: break;
  }
  return kUnsecurePanel;
}

const PanelExplanation& ExplanationFor(StatusPanel panel) {
  switch (panel) {
    case StatusPanel::Secured: return kSecuredExplanation;
    case StatusPanel::SemiSecure: return kSemiSecureExplanation;
    case StatusPanel::Unsecure: break;
  }
  return kUnsecureExplanation;
}

void ExplainPanel(StatusPanel panel, Prompter& prompter, const std::function<void()>& runSwitch) {
  const PanelExplanation& explanation = ExplanationFor(panel);
  MsgAnswer answer = prompter.MsgBox(explanation.title, explanation.text, explanation.buttons, MsgIcon::None);
  if (explanation.buttons == MsgButtons::YesNo && answer == MsgAnswer::Yes) runSwitch();
}

}  // namespace pw
