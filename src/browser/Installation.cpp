#include "browser/Installation.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pw {

#if defined(_WIN32)

std::string RunningExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

Installation InstallationOf(const std::string& programPath, const std::string&) {
  Installation place;
  std::size_t slash = programPath.find_last_of("\\/");
  std::string file = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
  place.folder = slash == std::string::npos ? "." : programPath.substr(0, slash);
  // A drive root keeps its backslash: "C:\".
  if (place.folder.size() == 2 && place.folder[1] == ':') place.folder += '\\';
  std::size_t dot = file.find_last_of('.');
  place.executableName = (dot == std::string::npos ? file : file.substr(0, dot)) + ".exe";
  place.separator = '\\';
  std::string folder = place.folder;
  if (folder.back() != '\\') folder += '\\';
  place.logPath = folder + kUninstallLogName;
  return place;
}

#else

std::string RunningExecutablePath() {
  std::string path(4096, '\0');
  ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(length));
  return path;
}

Installation InstallationOf(const std::string& programPath, const std::string& logFolder) {
  Installation place;
  std::size_t slash = programPath.find_last_of('/');
  place.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : programPath.substr(0, slash);
  place.executableName = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
  place.separator = '/';
  place.logPath = (logFolder.empty() ? std::string(".") : logFolder) + "/" + kUninstallLogName;
  return place;
}

#endif

}  // namespace pw
