#include "policy/SecuritySwitch.h"

#include "policy/ZoneProfiles.h"

namespace pw {

void SwitchZoneSecurity(Registry& registry, Prompter& prompter, ZoneStatePresenter& presenter,
                        std::uint16_t modifiers) {
  if (modifiers == (kCtrlMask | kAltMask)) {
    WriteZoneProfile(registry, ZoneProfile::Prompting);
  } else if (DetectZoneSecurity(registry) != ZoneSecurityState::Secured) {
    WriteZoneProfile(registry, ZoneProfile::LockedDown);
  } else if (DetectZoneSecurity(registry) == ZoneSecurityState::Secured) {
    // The direction follows what the registry holds now, not what was shown.
    if (prompter.MsgBox(kConfirmDisableTitle, kConfirmDisableText, MsgButtons::YesNo, MsgIcon::None) ==
        MsgAnswer::Yes)
      WriteZoneProfile(registry, ZoneProfile::Default);
  }
  presenter.ShowZoneSecurityState(DetectZoneSecurity(registry), true);
}

}  // namespace pw
