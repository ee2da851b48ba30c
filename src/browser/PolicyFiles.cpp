#include "browser/PolicyFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

namespace pw {
namespace {

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `path` for a file that is renamed over it.
std::string TemporaryBeside(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "." + base + ".XXXXXX";
}

bool WriteAll(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t written = ::write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string ReplaceFileAtomically(const std::string& path, const std::string& content, long owner, long group,
                                  std::string* scratch) {
  struct stat existing;
  bool ownerRight = owner < 0 || (::stat(path.c_str(), &existing) == 0 && existing.st_uid == static_cast<uid_t>(owner));
  std::string local;
  std::string& old = scratch ? *scratch : local;
  if (ownerRight && ReadWholeFileInto(path, old) && old == content) return "";
  std::string temporary = TemporaryBeside(path);
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return Failure("cannot write in", FolderOf(path));
  bool written = ::fchmod(fd, 0644) == 0 && WriteAll(fd, content) &&
                 (owner < 0 || ::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0);
  std::string error = written ? "" : Failure("cannot write", temporary);
  if (::close(fd) != 0 && error.empty()) error = Failure("cannot write", temporary);
  if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) error = Failure("cannot replace", path);
  if (!error.empty()) ::unlink(temporary.c_str());
  return error;
}

std::string PlaceLink(const std::string& path, const std::string& target) {
  if (LinkTarget(path) == target) return "";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = FolderOf(path) + "/.portwarden-link." + std::to_string(::getpid()) + "." +
                            std::to_string(attempt);
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Failure("cannot make a link in", FolderOf(path));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      std::string error = Failure("cannot place the link", path);
      ::unlink(temporary.c_str());
      return error;
    }
    return "";
  }
  return "cannot make a link in " + FolderOf(path) + ": no free temporary name";
}

std::string RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Failure("cannot remove", path);
  return "";
}

std::string MakeFolders(const std::string& path, long owner, long group) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0755) == 0) {
      if (owner >= 0 && ::chown(part.c_str(), static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0)
        return Failure("cannot give away", part);
    } else if (errno != EEXIST) {
      return Failure("cannot create the folder", part);
    }
  }
  struct stat made;
  if (::stat(path.c_str(), &made) != 0 || !S_ISDIR(made.st_mode)) return path + " is not a folder";
  return "";
}

std::string CheckWritable(const std::string& folder) {
  std::string existing = folder;
  struct stat info;
  while (::stat(existing.c_str(), &info) != 0) {
    if (errno != ENOENT || existing == "/" || existing == ".") return Failure("cannot reach", existing);
    existing = FolderOf(existing);
  }
  if (!S_ISDIR(info.st_mode)) return existing + " is not a folder";
  if (::access(existing.c_str(), W_OK | X_OK) != 0) return Failure("cannot write in", existing);
  return "";
}

std::string ClosedFolderAbove(const std::string& path) {
  for (std::string folder = FolderOf(path);; folder = FolderOf(folder)) {
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0 && !(info.st_mode & S_IXOTH)) return folder;
    if (folder == "/" || folder == ".") return "";
  }
}

FolderLock::FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string content;
  if (!ReadWholeFileInto(path, content)) return std::nullopt;
  return content;
}

bool ReadWholeFileInto(const std::string& path, std::string& content) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (read) {
    // Read in one go at the size the file has, and on when it grew meanwhile.
    content.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t done = 0;
    for (;;) {
      if (done == content.size()) content.resize(content.size() * 2);
      ssize_t got = ::read(fd, content.data() + done, content.size() - done);
      if (got < 0 && errno == EINTR) continue;
      read = got >= 0;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    content.resize(done);
  }
  ::close(fd);
  return read;
}

std::string FileIdentity(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return "";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
         std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec);
}

std::optional<std::string> LinkTarget(const std::string& path) {
  std::string target(4096, '\0');
  ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  return target;
}

std::optional<ScriptPolicy> ParsePolicyFile(const std::string& text, PolicyLevel level) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  ScriptPolicy policy;
  auto fallback = json.find(kDefaultScriptPolicy);
  if (fallback != json.end() && fallback->is_number_integer())
    (level == PolicyLevel::Managed ? policy.managedDefault : policy.recommendedDefault) = fallback->get<int>();
  auto list = [&](const char* name, std::vector<std::string>& into) {
    auto found = json.find(name);
    if (found == json.end() || !found->is_array()) return;
    for (const nlohmann::json& entry : *found)
      if (entry.is_string()) into.push_back(entry.get<std::string>());
  };
  list(kBlockedScriptsPolicy, policy.blocked);
  list(kAllowedScriptsPolicy, policy.allowed);
  return policy;
}

}  // namespace pw
