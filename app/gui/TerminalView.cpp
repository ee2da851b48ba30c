#include "TerminalView.h"

#include "listings/SiteListText.h"

namespace pw {

void PrintStateAndSites(std::ostream& out, ZoneSecurityState state, const SiteList& sites, RegistryStore& store) {
  out << "Internet zone: " << ZoneSecurityStateName(state) << "\n";
  if (sites.Count() == 0)
    out << "The site list is empty.\n";
  else
    WriteSiteTable(out, sites, store);
}

}  // namespace pw
