// What assistive tools (screen readers) say for the windows' controls: a name
// and a description that tells what a control does or, for a picture, what it
// shows. The windows take them by the controls' designed names, so that every
// window toolkit says the same.
#pragma once

#include <array>
#include <string>

#include "listings/SiteList.h"

namespace pw {

struct AccessibleText {
  const char* name;         // empty: the control's own caption is its name
  const char* description;  // empty: the control's tool tip describes it
};

// The texts of control `control` of window `window` ("FormX", "FormY",
// "FormZ"); both empty for a control that has none of its own.
AccessibleText AccessibleTextOf(std::string_view window, std::string_view control);

// What picture `index` of ImageList11 shows, in words ("Trusted", "Secured"),
// empty outside 1 to 11.
std::string PictureMeaning(int index);

// A row of the site list as it is read out: protocol, subdomain, domain and
// the zone its picture shows, with empty fields named as such ("no subdomain").
std::array<std::string, 4> SiteRowReading(const SiteRow& row);

// What the security switch says beyond its designed tool tip: how to set the
// prompting profile from the keyboard too.
inline constexpr const char* kSwitchModifierNote =
    " With Ctrl and Alt held (Ctrl+Alt+Space or Ctrl+Alt+Return from the keyboard) it sets the prompting profile instead, in which "
    "the browser asks before scripts and plugins run.";

}  // namespace pw
