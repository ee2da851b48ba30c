#include "windowlogic/Startup.h"

#include <optional>
#include <string_view>

#include "common/Ascii.h"

namespace pw {

namespace {

// Characters that change how the text around them shows: controls (C0, DEL
// and, in UTF-8, C1), the marks and overrides of writing direction, and the
// line and paragraph separators. An address holding one is not offered: it
// could show as another address than it is.
bool HoldsDisguise(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    unsigned char third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) return true;  // U+0080 to U+009F
    if (c == 0xD8 && next == 0x9C) return true;                  // U+061C
    if (c == 0xE2 && next == 0x80 && (third == 0x8E || third == 0x8F || (third >= 0xA8 && third <= 0xAE)))
      return true;  // U+200E, U+200F, U+2028 to U+202E
    if (c == 0xE2 && next == 0x81 && third >= 0xA6 && third <= 0xA9) return true;  // U+2066 to U+2069
  }
  return false;
}

// The address trimmed of blanks at its ends, when it is an http, https or ftp
// address a user could list; nothing otherwise.
std::optional<std::string> Offerable(std::string_view address) {
  while (!address.empty() && static_cast<unsigned char>(address.front()) <= ' ') address.remove_prefix(1);
  while (!address.empty() && static_cast<unsigned char>(address.back()) <= ' ') address.remove_suffix(1);
  std::size_t colon = address.find(':');
  std::string scheme = AsciiLower(address.substr(0, colon == std::string_view::npos ? 0 : colon));
  if (scheme != "http" && scheme != "https" && scheme != "ftp") return std::nullopt;
  if (address.find("///") != std::string_view::npos || HoldsDisguise(address)) return std::nullopt;
  return std::string(address);
}

}  // namespace

std::vector<std::string> OfferedAddresses(const OpenPagesSource& source) {
  std::vector<std::string> offered;
  if (!source) return offered;
  try {
    for (const std::string& address : source())
      if (std::optional<std::string> page = Offerable(address)) offered.push_back(std::move(*page));
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

  window.RebuildSiteList();
  return StartupOutcome::ShowWindow;
}

}  // namespace pw
