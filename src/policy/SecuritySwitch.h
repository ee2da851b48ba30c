// The security switch: moves the Internet zone between the profiles and hands
// the state read back to the presentation.
#pragma once

#include <cstdint>
#include <optional>

#include "common/Prompter.h"
#include "policy/ZoneSecurity.h"
#include "registry/Registry.h"

namespace pw {

// Modifier-key state of a mouse event: added together.
inline constexpr std::uint16_t kShiftMask = 1;
inline constexpr std::uint16_t kCtrlMask = 2;
inline constexpr std::uint16_t kAltMask = 4;

inline constexpr const char* kConfirmDisableTitle = "Confirm Disable Security";
inline constexpr const char* kConfirmDisableText =
    "The default Normal Windows Internet Security settings are not recommended. Are you sure you "
    "wish to proceed?";

// What shows a state: the main window (caption, tool tip and picture of the
// switch, the visible status panel and, when asked, its tool tip).
class ZoneStatePresenter {
 public:
  virtual ~ZoneStatePresenter() = default;
  virtual void ShowZoneSecurityState(ZoneSecurityState state, bool setPanelToolTip) = 0;
};

enum class SwitchOutcome {
  Acted,       // a profile was written or the user said No; the state is shown
  ShownStale,  // the state is not the one shown: nothing was written
};

// Modifiers exactly Ctrl+Alt: the prompting profile, unasked. Otherwise an
// insecure zone gets the locked-down profile, unasked; a zone secured at two
// readings gets the default profile after the confirmation. In every case the
// state is read once more and shown with the panel tool tip.
//
// A window passes the state it shows, which the user acted on: when the store
// holds another (another program changed it), the switch writes and asks
// nothing and says so, and the window shows the store anew. That is checked
// again after the confirmation, which may have been open a while.
SwitchOutcome SwitchZoneSecurity(Registry& registry, Prompter& prompter, ZoneStatePresenter& presenter,
                                 std::uint16_t modifiers, std::optional<ZoneSecurityState> shown = std::nullopt);

}  // namespace pw
