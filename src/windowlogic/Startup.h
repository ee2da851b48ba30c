// The main window's start-up sequence, free of any window toolkit: the window
// supplies the few things it shows, the rest is logic shared with tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/Prompter.h"
#include "policy/SecuritySwitch.h"
#include "registry/Registry.h"

namespace pw {

inline constexpr const char* kStartupCommandLine = "Startup";
inline constexpr const char* kRaiseQuestionTitle = "Raise the Portwarden?";
inline constexpr const char* kRaiseQuestionText =
    "Your security could be compromised at any time by hostile scripts or plugins. Do you wish to "
    "remedy this situation?";

// The addresses of the pages open in the browser windows, in the windows'
// order. A source may fail in any way (throw); start-up then goes on without
// the addresses.
using OpenPagesSource = std::function<std::vector<std::string>()>;

// The source's http, https and ftp addresses, trimmed of blanks at their
// ends, without those holding "///" (folders and local files) or characters
// that disguise how they show (controls, writing-direction marks, line
// separators); nothing when the source fails.
std::vector<std::string> OfferedAddresses(const OpenPagesSource& source);

// The command line compared with "Startup": the arguments left after the
// program's own options and the toolkit's are taken out, joined with single
// spaces.
std::string CommandLineText(const std::vector<std::string>& arguments);

// True when the run ends before any window: the "Startup" command line and a
// protected (secured or semi-secured) zone.
bool StartupModeEndsRun(ZoneSecurityState state, const std::string& commandLine);

// What start-up needs from the main window besides showing a state.
class StartupWindow : public ZoneStatePresenter {
 public:
  // Adds the address as an entry of txtURL and sets txtURL's text to it.
  virtual void OfferAddress(const std::string& address) = 0;
  // Moves pSecured, pUnsecure and pSemisecure, in this order, to left 80, top 30.
  virtual void PlaceStatusPanels() = 0;
  // Rebuilds the site list.
  virtual void RebuildSiteList() = 0;
};

struct StartupServices {
  Registry* registry = nullptr;
  Prompter* prompter = nullptr;
  OpenPagesSource pages;               // empty: no source on this platform
  std::function<void()> firstStart;    // the first start of an installation's step; empty: none
  std::string commandLine;
};

enum class StartupOutcome { ShowWindow, EndRun };

// Offers the open pages, runs the first-start step, places the panels, shows
// the state without the panel tool tip; in the "Startup" mode a protected zone
// ends the run here; an unsecured zone is offered the switch (before any window
// shows); then fills the site list.
StartupOutcome RunStartup(StartupWindow& window, const StartupServices& services);

}  // namespace pw
