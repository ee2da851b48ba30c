#include "ui/Startup.h"

namespace pw {

std::vector<std::string> OfferedAddresses(BrowserPageSource* source) {
  std::vector<std::string> offered;
  if (!source) return offered;
  try {
    for (std::string& address : source->OpenPageAddresses())
      if (address.find("///") == std::string::npos) offered.push_back(std::move(address));
  } catch (...) {
    // Every error of this step is ignored: the box then offers what was read so far.
  }
  return offered;
}

std::string CommandLineText(const std::vector<std::string>& arguments) {
  std::string text;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text += ' ';
    text += arguments[i];
  }
  return text;
}

bool StartupModeEndsRun(ZoneSecurityState state, const std::string& commandLine) {
  return commandLine == kStartupCommandLine &&
         (state == ZoneSecurityState::Secured || state == ZoneSecurityState::SemiSecured);
}

StartupOutcome RunStartup(StartupWindow& window, const StartupServices& services) {
  for (const std::string& address : OfferedAddresses(services.pages)) window.OfferAddress(address);

  if (services.firstStart) services.firstStart();

  window.PlaceStatusPanels();

  ZoneSecurityState state = DetectZoneSecurity(*services.registry);
  window.ShowZoneSecurityState(state, false);
  if (StartupModeEndsRun(state, services.commandLine)) return StartupOutcome::EndRun;
  bool isProtected = state == ZoneSecurityState::Secured || state == ZoneSecurityState::SemiSecured;
  if (!isProtected && services.prompter->MsgBox(kRaiseQuestionTitle, kRaiseQuestionText, MsgButtons::YesNo,
                                       MsgIcon::None) == MsgAnswer::Yes) {
    SwitchZoneSecurity(*services.registry, *services.prompter, window, 0);
  }

  window.Refresher();
  return StartupOutcome::ShowWindow;
}

}  // namespace pw
