// Where the program's help is: the compiled help file beside the program, or
// the HTML pages shipped with it.
#pragma once

#include <string>

namespace pw {

inline constexpr const char* kHelpFileName = "Portwarden-HELP.chm";

// The compiled help file beside the program when it is there and the desktop
// has a viewer for it; otherwise the first page of the HTML help (beside the
// program in help/, or in share/portwarden/help/ of an installation); empty
// when there is neither.
std::string ChooseHelpFile(const std::string& programDir, bool compiledHelpViewer);

}  // namespace pw
