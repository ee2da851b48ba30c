// How a zone security state is shown in the status area, and what a click on a
// status panel explains.
#pragma once

#include <functional>

#include "common/Prompter.h"
#include "policy/ZoneSecurity.h"

namespace pw {

enum class StatusPanel { Secured, SemiSecure, Unsecure };  // pSecured, pSemisecure, pUnsecure

struct StatePresentation {
  const char* secureCaption;  // cmdSecure's caption
  const char* secureToolTip;
  int securePicture;          // picture of ImageList11 on cmdSecure: 9 secured, 10 otherwise
  StatusPanel panel;          // the one visible panel
  const char* panelToolTip;   // set only when the switch asks for it
};

// Any state other than Secured and SemiSecured is shown as Unsecured.
const StatePresentation& PresentationFor(ZoneSecurityState state);

// A panel's fixed contents: its three children and their tool tips, which
// invite the click.
struct PanelDesign {
  const char* name;
  const char* upperLabel;
  const char* upperCaption;
  const char* lowerLabel;
  const char* lowerCaption;
  const char* picture;
  const char* labelToolTip;
  const char* pictureToolTip;
};
const PanelDesign& DesignOf(StatusPanel panel);

struct PanelExplanation {
  const char* title;
  const char* text;
  MsgButtons buttons;  // Ok only, or Yes and No with Yes running the switch
};
const PanelExplanation& ExplanationFor(StatusPanel panel);

// A click on any child of `panel`: shows its explanation; a Yes runs `runSwitch`
// (the switch with no modifier keys) after the box has closed.
void ExplainPanel(StatusPanel panel, Prompter& prompter, const std::function<void()>& runSwitch);

}  // namespace pw
