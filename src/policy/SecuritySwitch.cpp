#include "policy/SecuritySwitch.h"

#include "policy/ZoneProfiles.h"

namespace pw {

SwitchOutcome SwitchZoneSecurity(Registry& registry, Prompter& prompter, ZoneStatePresenter& presenter,
                                 std::uint16_t modifiers, std::optional<ZoneSecurityState> shown) {
  auto stale = [&] { return shown && DetectZoneSecurity(registry) != *shown; };
  if (stale()) return SwitchOutcome::ShownStale;
  if (modifiers == (kCtrlMask | kAltMask)) {
    WriteZoneProfile(registry, ZoneProfile::Prompting);
  } else if (DetectZoneSecurity(registry) != ZoneSecurityState::Secured) {
    WriteZoneProfile(registry, ZoneProfile::LockedDown);
  } else if (DetectZoneSecurity(registry) == ZoneSecurityState::Secured) {
    // The direction follows what the registry holds now, not what was shown.
    if (prompter.MsgBox(kConfirmDisableTitle, kConfirmDisableText, MsgButtons::YesNo, MsgIcon::None) ==
        MsgAnswer::Yes) {
      if (stale()) return SwitchOutcome::ShownStale;
      WriteZoneProfile(registry, ZoneProfile::Default);
    }
  }
  presenter.ShowZoneSecurityState(DetectZoneSecurity(registry), true);
  return SwitchOutcome::Acted;
}

}  // namespace pw
