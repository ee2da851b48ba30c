#include "windowlogic/HelpFile.h"

#include <filesystem>
#include <system_error>

namespace pw {

std::string ChooseHelpFile(const std::string& programDir, bool compiledHelpViewer) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path dir(programDir);
  if (compiledHelpViewer && fs::is_regular_file(dir / kHelpFileName, ec)) return (dir / kHelpFileName).string();
  for (const fs::path& page : {dir / "help" / "index.html", dir / ".." / "share" / "portwarden" / "help" / "index.html"})
    if (fs::is_regular_file(page, ec)) return fs::weakly_canonical(page, ec).string();
  return {};
}

}  // namespace pw
