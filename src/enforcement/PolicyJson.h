// The script policy as the JSON document the Chromium-family browsers read
// from their policy folders and the command line shows.
#pragma once

#include <string>

#include "scriptpolicy/ScriptPolicy.h"

namespace pw {

// The JSON the browsers read for one level: an object holding the policies of
// that level that are set ("{}" when none are).
std::string PolicyJson(const ScriptPolicy& policy, PolicyLevel level);
// The same into `json`, whose room is reused.
void WritePolicyJson(const ScriptPolicy& policy, PolicyLevel level, std::string& json);

}  // namespace pw
