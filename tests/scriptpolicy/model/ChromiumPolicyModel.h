// How Chromium's content settings decide whether a page's scripts run under a
// script policy, as a model: the policy's patterns that match the page's
// scheme and host are ranked by the host first (an exact host before "[*.]"
// ones, a longer "[*.]" name before a shorter), then by the scheme (named
// before any); of two equal patterns the blocked one wins. Without a match the
// enforced default decides, then the recommended one, else scripts run. The
// browser test browser.real_chromium holds the model to the real browser.
#pragma once

#include <string_view>

#include "scriptpolicy/ScriptPolicy.h"

namespace pw::test {

// True when scripts run on `scheme`://`host` (lower case) under `policy`.
bool ChromiumRunsScripts(const ScriptPolicy& policy, std::string_view scheme, std::string_view host);

// What the zone query and the zone state imply: the Trusted zone runs, the
// Restricted zone is blocked, and anything else follows the state.
bool ZoneMapRunsScripts(RegistryStore& store, ZoneSecurityState state, std::string_view scheme,
                        std::string_view host);

// True when one of the patterns matches the address.
bool AnyPatternMatches(const std::vector<std::string>& patterns, std::string_view scheme, std::string_view host);

}  // namespace pw::test
