#include "regfile/RegFile.h"

#include "common/Ascii.h"
#include "registry/NameFold.h"

namespace pw {

const char* HiveName(HKEY hive) {
  return hive == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string FullKeyName(HKEY hive, std::string_view path) {
  std::string name = HiveName(hive);
  if (!path.empty()) {
    name += '\\';
    name += path;
  }
  return name;
}

std::optional<KeyName> ParseKeyName(std::string_view text, std::string* why) {
  auto fail = [&](const char* reason) -> std::optional<KeyName> {
    if (why) *why = reason;
    return std::nullopt;
  };
  std::size_t slash = text.find('\\');
  std::string_view hive = text.substr(0, slash);
  KeyName name;
  if (EqualsAsciiFolded(hive, "HKEY_CURRENT_USER") || EqualsAsciiFolded(hive, "HKCU")) {
    name.hive = HKEY_CURRENT_USER;
  } else if (EqualsAsciiFolded(hive, "HKEY_LOCAL_MACHINE") || EqualsAsciiFolded(hive, "HKLM")) {
    name.hive = HKEY_LOCAL_MACHINE;
  } else {
    return fail("the key is not under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE");
  }
  if (slash == std::string_view::npos) return name;
  std::string_view path = text.substr(slash + 1);
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  // Every component must have a name: "a\\b" or "a\" would name a key the
  // store spells differently from the file.
  std::size_t start = 0;
  DWORD depth = 0;
  while (start <= path.size() && !path.empty()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end == start) return fail("the key path has an empty name between two backslashes");
    if (end - start > kMaxKeyNameLength)
      return fail("a key name in the path is longer than 255 bytes");
    if (++depth > kMaxKeyDepth) return fail("the key path is more than 512 levels deep");
    start = end + 1;
  }
  name.path.assign(path);
  return name;
}

bool IsSameOrBelow(std::string_view path, std::string_view ancestor) {
  // Component by component: folding may change a name's length in bytes.
  while (!ancestor.empty()) {
    if (path.empty()) return false;
    std::size_t a = ancestor.find('\\'), p = path.find('\\');
    if (!SameName(path.substr(0, p), ancestor.substr(0, a))) return false;
    ancestor = a == std::string_view::npos ? std::string_view() : ancestor.substr(a + 1);
    path = p == std::string_view::npos ? std::string_view() : path.substr(p + 1);
  }
  return true;
}

}  // namespace pw
