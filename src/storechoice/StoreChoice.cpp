#include "storechoice/StoreChoice.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "enforcement/Enforcement.h"
#include "policy/NewStoreLayout.h"
#include "registry/MemoryStore.h"
#if defined(PW_HAVE_SQLITE)
#include "registry/SqliteStore.h"
#endif
#if defined(_WIN32)
#include "registry/Win32Store.h"
#endif

namespace pw {
namespace {

#if !defined(_WIN32)

// Makes every missing folder along the path, each with mode 0700.
bool MakeFolders(const std::string& folder, std::string& error) {
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create the folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}
#endif

}  // namespace

std::optional<std::string> TakeStoreOption(std::vector<std::string>& args, std::string& error) {
  std::optional<std::string> path;
  for (std::size_t i = 0; i < args.size();) {
    if (args[i] == "--") break;  // the options end here
    if (args[i] == "--store") {
      if (i + 1 >= args.size()) {
        error = "--store needs a path";
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        return path;
      }
      path = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    } else if (args[i].rfind("--store=", 0) == 0) {
      path = args[i].substr(8);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  if (path && path->empty()) error = "--store needs a path";
  return path;
}

std::string DefaultStorePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.local/share";
  }
  return base + "/portwarden/registry.db";
}

#if defined(_WIN32)
// On Windows the program works on the registry itself; no store file is built
// in. PORTWARDEN_STORE is not read there: it names a file for the Linux program,
// and Wine hands the Linux environment on to Windows programs.
OpenedStore OpenChosenStore(const std::optional<std::string>& path, StoreAccess) {
  OpenedStore opened;
  if (path) {
    opened.error =
        "--store " + *path +
        ": store files are not supported on Windows; the program works on the Windows registry "
        "(leave --store out)";
    return opened;
  }
  opened.store = WithBrowserEnforcement(std::make_unique<Win32Store>());
  return opened;
}
#else
OpenedStore OpenChosenStore(const std::optional<std::string>& path, StoreAccess access) {
  OpenedStore opened;
  std::string chosen;
  bool named = true;
  if (path) {
    chosen = *path;
  } else if (const char* env = std::getenv("PORTWARDEN_STORE"); env && *env) {
    chosen = env;
  } else {
    chosen = DefaultStorePath();
    named = false;
  }
  std::size_t slash = chosen.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : chosen.substr(0, slash);
  struct stat info;
  if (access == StoreAccess::Read && ::stat(chosen.c_str(), &info) != 0 && errno == ENOENT) {
    if (named) {
      opened.error = "no store at " + chosen + ": the file does not exist (only a verb that writes creates a store)";
      return opened;
    }
    auto fresh = std::make_unique<MemoryStore>();
    LayOutNewStore(*fresh);
    opened.store = std::move(fresh);
    opened.folder = folder;
    return opened;
  }
  if (!named && !MakeFolders(folder, opened.error)) return opened;
#if defined(PW_HAVE_SQLITE)
  SqliteStore::OpenResult result = SqliteStore::Open(chosen, LayOutNewStore);
  if (!result.store) {
    opened.error = result.error;
    return opened;
  }
  if (result.created) opened.note = "created a new store at " + chosen;
  opened.store = WithBrowserEnforcement(std::move(result.store));
  opened.folder = folder;
#else
  opened.error = "no store for " + chosen + " on this platform";
#endif
  return opened;
}
#endif

}  // namespace pw
