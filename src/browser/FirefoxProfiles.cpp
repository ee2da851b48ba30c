#include "browser/FirefoxProfiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "browser/FirefoxSession.h"

namespace pw {
namespace {

using Section = std::vector<std::pair<std::string, std::string>>;
using IniFile = std::vector<std::pair<std::string, Section>>;

// The profile lists are a few hundred bytes; this is far beyond any.
constexpr std::size_t kMaxIniSize = std::size_t{1} << 20;

// Sections in file order, each with its keys in order. A file that cannot be
// read (or is no regular file of a sensible size) is empty.
IniFile ReadIni(const std::string& path) {
  IniFile ini;
  std::istringstream in(ReadProfileFile(path, kMaxIniSize).value_or(""));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      std::size_t end = line.find(']');
      if (end != std::string::npos) ini.push_back({line.substr(1, end - 1), {}});
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals != std::string::npos && !ini.empty())
      ini.back().second.push_back({line.substr(0, equals), line.substr(equals + 1)});
  }
  return ini;
}

std::string Get(const Section& section, const std::string& key) {
  for (const auto& [name, value] : section)
    if (name == key) return value;
  return {};
}

std::string ProfileFolder(const std::string& root, const std::string& path, bool relative) {
  if (path.empty()) return {};
  return relative ? root + "/" + path : path;
}

}  // namespace

std::vector<std::string> FirefoxRoots(const std::string& home, const std::string& xdgConfigHome) {
  std::vector<std::string> roots;
  if (home.empty()) return roots;
  roots.push_back(home + "/.mozilla/firefox");
  roots.push_back((xdgConfigHome.empty() ? home + "/.config" : xdgConfigHome) + "/mozilla/firefox");
  roots.push_back(home + "/snap/firefox/common/.mozilla/firefox");
  roots.push_back(home + "/.var/app/org.mozilla.firefox/.mozilla/firefox");
  return roots;
}

std::vector<std::string> ListedProfiles(const std::string& root) {
  IniFile profiles = ReadIni(root + "/profiles.ini");
  IniFile installs = ReadIni(root + "/installs.ini");
  std::vector<std::string> installDefaults, markedDefault, others;
  // An installation's default is a path relative to the root.
  auto takeInstalls = [&](const IniFile& ini, bool prefixed) {
    for (const auto& [name, section] : ini)
      if (!prefixed || name.rfind("Install", 0) == 0)
        if (std::string folder = ProfileFolder(root, Get(section, "Default"), true); !folder.empty())
          installDefaults.push_back(folder);
  };
  takeInstalls(installs, false);
  takeInstalls(profiles, true);
  for (const auto& [name, section] : profiles) {
    if (name.rfind("Profile", 0) != 0) continue;
    std::string folder = ProfileFolder(root, Get(section, "Path"), Get(section, "IsRelative") != "0");
    if (folder.empty()) continue;
    (Get(section, "Default") == "1" ? markedDefault : others).push_back(folder);
  }
  std::vector<std::string> ordered;
  for (const auto* list : {&installDefaults, &markedDefault, &others})
    for (const std::string& folder : *list)
      if (std::find(ordered.begin(), ordered.end(), folder) == ordered.end()) ordered.push_back(folder);
  return ordered;
}

bool ProfileLocked(const std::string& profileFolder) {
  int fd = ::open((profileFolder + "/.parentlock").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

std::optional<std::string> ProfileInUse(const std::vector<std::string>& roots) {
  for (const std::string& root : roots)
    for (const std::string& folder : ListedProfiles(root))
      if (ProfileLocked(folder)) return folder;
  return std::nullopt;
}

std::vector<std::string> FirefoxOpenPages() {
  const char* home = std::getenv("HOME");
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::optional<std::string> profile =
      ProfileInUse(FirefoxRoots(home ? home : "", config && *config == '/' ? config : ""));
  return profile ? ProfileOpenPages(*profile) : std::vector<std::string>{};
}

}  // namespace pw
