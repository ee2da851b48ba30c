#include "intake/PublicSuffix.h"

#include <algorithm>
#include <array>
#include <string>

#include "common/Ascii.h"

#if defined(PW_HAVE_PSL)
#include <libpsl.h>
#endif

namespace pw {

bool IsPublicSuffix(std::string_view name) {
  std::string lower = AsciiLower(name);
#if defined(PW_HAVE_PSL)
  // The newest list on the system, else the one built into the library.
  static const psl_ctx_t* list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest ? latest : psl_builtin();
  }();
  if (list) return psl_is_public_suffix2(list, lower.c_str(), PSL_TYPE_ANY) != 0;
#endif
  std::size_t dot = lower.find('.');
  if (dot == std::string::npos) return true;  // a top-level domain
  static constexpr std::array<std::string_view, 14> kSecondLevel = {
      "ac", "co", "com", "edu", "go", "gob", "gov", "ltd", "mil", "ne", "net", "nic", "or", "org"};
  std::string_view first = std::string_view(lower).substr(0, dot);
  std::string_view top = std::string_view(lower).substr(dot + 1);
  return top.size() == 2 && top.find('.') == std::string_view::npos &&
         std::find(kSecondLevel.begin(), kSecondLevel.end(), first) != kSecondLevel.end();
}

}  // namespace pw
