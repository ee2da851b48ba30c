#include "enforcement/PolicyFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <thread>

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

std::string OwnerName(uid_t user) {
  if (const passwd* entry = ::getpwuid(user)) return entry->pw_name;
  return "the user " + std::to_string(user);
}

// A folder we write in, or root writes in for a user: a real folder of the
// owner that no one else can change.
Result CheckFolder(int fd, const std::string& path, long owner) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return Result::Failure(Failure("cannot examine", path));
  if (!S_ISDIR(info.st_mode)) return Result::Failure(path + " is not a folder");
  bool ownerRight = owner >= 0 ? info.st_uid == static_cast<uid_t>(owner)
                               : info.st_uid == ::geteuid() || info.st_uid == 0;
  if (!ownerRight)
    return Result::Failure(path + " belongs to " + OwnerName(info.st_uid) + ", not to " +
                           OwnerName(owner >= 0 ? static_cast<uid_t>(owner) : ::geteuid()) + "; it is not used");
  if (info.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return Result::Failure(path + " can be changed by other users (mode " + mode + "); it is not used");
  }
  return {};
}

Result OpenChecked(int at, const std::string& name, const std::string& path, long owner, bool create,
                   std::vector<std::string>* made, int& fd) {
  fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && create) {
    if (::mkdirat(at, name.c_str(), 0755) == 0) {
      if (made) made->push_back(path);
    } else if (errno != EEXIST) {
      return Result::Failure(Failure("cannot create the folder", path));
    }
    fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) ::fchmod(fd, 0755);  // whatever the umask: the browsers of every user read below it
  }
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR)
      return Result::Failure(path + " is a link or a file, not a folder; it is not used");
    return Result::Failure(Failure("cannot open the folder", path));
  }
  Result checked = CheckFolder(fd, path, owner);
  if (!checked.Ok()) {
    ::close(fd);
    fd = -1;
  }
  return checked;
}

}  // namespace

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

Result OpenFolder(const std::string& path, Folder& folder, long owner, bool create,
                  std::vector<std::string>* made) {
  folder = Folder();
  if (path.empty() || path.front() != '/') return Result::Failure("not an absolute folder: " + path);
  if (path == "/") return Result::Failure("/ is not used as a policy folder");
  std::string parent = FolderOf(path);
  if (create)
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (path[i] != '/') continue;
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0755) == 0) {
        ::chmod(part.c_str(), 0755);
        if (made) made->push_back(part);
      } else if (errno != EEXIST) {
        return Result::Failure(Failure("cannot create the folder", part));
      }
    }
  int at = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return Result::Failure(Failure("cannot open the folder", parent));
  int fd = -1;
  Result opened =
      OpenChecked(at, path.substr(parent.size() == 1 ? 1 : parent.size() + 1), path, owner, create, made, fd);
  ::close(at);
  if (!opened.Ok()) return opened;
  folder.fd_ = fd;
  folder.path_ = path;
  return {};
}

Result OpenStoreFolder(const std::string& path, Folder& folder, long owner) {
  folder = Folder();
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Result::Failure(Failure("cannot open the folder", path));
  struct stat info;
  std::string error;
  uid_t expected = owner >= 0 ? static_cast<uid_t>(owner) : ::geteuid();
  if (::fstat(fd, &info) != 0) error = Failure("cannot examine", path);
  else if (info.st_uid != expected && info.st_uid != 0)
    error = "the store's folder " + path + " belongs to " + OwnerName(info.st_uid) + ", not to " +
            OwnerName(expected) + ", who owns the store";
  else if ((info.st_mode & (S_IWGRP | S_IWOTH)) && !(info.st_mode & S_ISVTX))
    error = "the store's folder " + path + " can be changed by other users";
  if (!error.empty()) {
    ::close(fd);
    return Result::Failure(error);
  }
  folder.fd_ = fd;
  folder.path_ = path;
  return {};
}

Result OpenFolderIn(const Folder& parent, const std::string& name, Folder& folder, long owner, bool create,
                    std::vector<std::string>* made) {
  folder = Folder();
  int fd = -1;
  std::string path = parent.PathOf(name);
  Result opened = OpenChecked(parent.Descriptor(), name, path, owner, create, made, fd);
  if (!opened.Ok()) return opened;
  folder.fd_ = fd;
  folder.path_ = path;
  return {};
}

Result ReadFileIn(const Folder& folder, const std::string& name, std::string& content, std::size_t limit,
                  bool* missing) {
  if (missing) *missing = false;
  std::string path = folder.PathOf(name);
  int fd = ::openat(folder.Descriptor(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT && missing) *missing = true;
    if (errno == ELOOP) return Result::Failure(path + " is a link; it is not read");
    return Result::Failure(Failure("cannot read", path));
  }
  struct stat info;
  std::string error;
  if (::fstat(fd, &info) != 0) error = Failure("cannot read", path);
  else if (!S_ISREG(info.st_mode)) error = path + " is not a regular file";
  else if (static_cast<std::uint64_t>(info.st_size) > limit)
    error = path + " is larger than " + std::to_string(limit >> 20) + " MB; it is not read";
  if (error.empty()) {
    // At the size the file has, and on while it grows, up to the limit.
    content.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t done = 0;
    for (;;) {
      if (done == content.size()) {
        if (content.size() > limit) break;
        content.resize(std::min(content.size() * 2, limit + 1));
      }
      ssize_t got = ::read(fd, content.data() + done, content.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error = Failure("cannot read", path);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    if (error.empty() && done > limit)
      error = path + " is larger than " + std::to_string(limit >> 20) + " MB; it is not read";
    content.resize(error.empty() ? done : 0);
  }
  ::close(fd);
  return error.empty() ? Result() : Result::Failure(error);
}

Result ReplaceFileIn(const Folder& folder, const std::string& name, const std::string& content,
                     std::string* scratch, bool rebuilt) {
  std::string local;
  std::string& old = scratch ? *scratch : local;
  if (ReadFileIn(folder, name, old).Ok() && old == content) return {};
  static unsigned counter = 0;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd = ::openat(folder.Descriptor(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Result::Failure(Failure("cannot write in", folder.Path()));
  // A failure to reserve leaves the file to be written as any other.
  if (rebuilt && !content.empty()) ::fallocate(fd, 0, 0, static_cast<off_t>(content.size()));
  bool written = ::fchmod(fd, 0644) == 0 && WriteAll(fd, content);
  std::string error = written ? "" : Failure("cannot write", folder.PathOf(temporary));
  if (::close(fd) != 0 && error.empty()) error = Failure("cannot write", folder.PathOf(temporary));
  if (error.empty() && ::renameat(folder.Descriptor(), temporary.c_str(), folder.Descriptor(), name.c_str()) != 0)
    error = Failure("cannot replace", folder.PathOf(name));
  if (error.empty()) return {};
  ::unlinkat(folder.Descriptor(), temporary.c_str(), 0);
  return Result::Failure(error);
}

Result PlaceLinkIn(const Folder& folder, const std::string& name, const std::string& target) {
  if (LinkTargetIn(folder, name) == target) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = ".portwarden-link." + std::to_string(::getpid()) + "." + std::to_string(attempt);
    if (::symlinkat(target.c_str(), folder.Descriptor(), temporary.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Result::Failure(Failure("cannot make a link in", folder.Path()));
    }
    if (::renameat(folder.Descriptor(), temporary.c_str(), folder.Descriptor(), name.c_str()) != 0) {
      Result failed = Result::Failure(Failure("cannot place the link", folder.PathOf(name)));
      ::unlinkat(folder.Descriptor(), temporary.c_str(), 0);
      return failed;
    }
    return {};
  }
  return Result::Failure("cannot make a link in " + folder.Path() + ": no free temporary name");
}

std::string CanonicalPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string canonical = resolved;
  std::free(resolved);
  return canonical;
}

std::string StoreNamed(const RegistryStore& store) {
  std::string file = store.FilePath();
  return file.empty() ? store.Describe() : CanonicalPath(file);
}

std::optional<std::string> LinkTargetIn(const Folder& folder, const std::string& name) {
  std::string target(4096, '\0');
  ssize_t length = ::readlinkat(folder.Descriptor(), name.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  return target;
}

bool ExistsIn(const Folder& folder, const std::string& name) {
  struct stat info;
  return ::fstatat(folder.Descriptor(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

Result MoveBetween(const Folder& from, const std::string& fromName, const Folder& to, const std::string& toName) {
  if (::renameat2(from.Descriptor(), fromName.c_str(), to.Descriptor(), toName.c_str(), RENAME_NOREPLACE) != 0)
    return Result::Failure(Failure("cannot move " + from.PathOf(fromName) + " to", to.PathOf(toName)));
  return {};
}

Result RemoveIn(const Folder& folder, const std::string& name) {
  if (::unlinkat(folder.Descriptor(), name.c_str(), 0) != 0 && errno != ENOENT)
    return Result::Failure(Failure("cannot remove", folder.PathOf(name)));
  return {};
}

bool RemoveEmptyFolderIn(const Folder& folder, const std::string& name) {
  return ::unlinkat(folder.Descriptor(), name.c_str(), AT_REMOVEDIR) == 0;
}

void SweepIn(const Folder& folder, const std::string& prefix) {
  int fd = ::openat(folder.Descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* listing = ::fdopendir(fd);
  if (!listing) {
    ::close(fd);
    return;
  }
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    struct stat info;
    if (name.compare(0, prefix.size(), prefix) == 0 &&
        ::fstatat(folder.Descriptor(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)))
      leftovers.push_back(name);
  }
  ::closedir(listing);
  for (const std::string& name : leftovers) ::unlinkat(folder.Descriptor(), name.c_str(), 0);
}

std::string FileIdentityIn(const Folder& folder, const std::string& name) {
  struct stat info;
  if (::fstatat(folder.Descriptor(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return "";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
         std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec);
}

Result CheckWritable(const std::string& path) {
  std::string existing = path;
  struct stat info;
  while (::stat(existing.c_str(), &info) != 0) {
    if (errno != ENOENT || existing == "/" || existing == ".")
      return Result::Failure(Failure("cannot reach", existing));
    existing = FolderOf(existing);
  }
  if (!S_ISDIR(info.st_mode)) return Result::Failure(existing + " is not a folder");
  if (::access(existing.c_str(), W_OK | X_OK) != 0) return Result::Failure(Failure("cannot write in", existing));
  return {};
}

std::string ClosedFolderAbove(const std::string& path) {
  for (std::string folder = FolderOf(path);; folder = FolderOf(folder)) {
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0 && !(info.st_mode & S_IXOTH)) return folder;
    if (folder == "/" || folder == ".") return "";
  }
}

std::optional<std::string> LinkTarget(const std::string& path) {
  std::string target(4096, '\0');
  ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  return target;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

Result FileLock::Take(const Folder& folder, const std::string& name, int seconds) {
  fd_ = ::openat(folder.Descriptor(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd_ < 0) return Result::Failure(Failure("cannot open the lock", folder.PathOf(name)));
  struct stat info;
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
    return Result::Failure(folder.PathOf(name) + " is not a lock file");
  if (info.st_mode & 077) ::fchmod(fd_, 0600);  // an older lock others could open
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return Result::Failure(Failure("cannot lock", folder.PathOf(name)));
    if (std::chrono::steady_clock::now() >= deadline)
      return Result::Failure("another program has held " + folder.PathOf(name) + " for " +
                             std::to_string(seconds) + " seconds; the policy was not brought in step");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

ActingAs::ActingAs(long user, long group) {
  if (::geteuid() != 0 || user <= 0 || group < 0) return;
  int count = ::getgroups(0, nullptr);
  groups_.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  if (count > 0 && ::getgroups(count, reinterpret_cast<gid_t*>(groups_.data())) != count) groups_.clear();
  group_ = static_cast<unsigned>(::setfsgid(static_cast<gid_t>(group)));
  active_ = true;
  // Per thread, as the file identity is: the raw call, not the library's,
  // which would change every thread of the process.
  bool cleared = ::syscall(SYS_setgroups, 0, nullptr) == 0;
  ::setfsuid(static_cast<uid_t>(user));
  // setfsuid and setfsgid tell failure only by what a second call returns.
  if (!cleared || ::setfsuid(static_cast<uid_t>(-1)) != static_cast<int>(user) ||
      ::setfsgid(static_cast<gid_t>(-1)) != static_cast<int>(group))
    taken_ = Result::Failure("cannot act as " + OwnerName(static_cast<uid_t>(user)) + ", who owns the store");
}

ActingAs::~ActingAs() {
  if (!active_) return;
  ::setfsuid(0);
  ::setfsgid(static_cast<gid_t>(group_));
  ::syscall(SYS_setgroups, groups_.size(), groups_.data());
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

bool HoldsOnlyOurPolicies(const std::string& text) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_object()) return false;
  for (const auto& [name, value] : json.items())
    if (name != kDefaultScriptPolicy && name != kBlockedScriptsPolicy && name != kAllowedScriptsPolicy) return false;
  return true;
}

std::string PlacementRecordText(std::string_view header, const PlacementRecord& record, std::string_view more) {
  std::string text(header);
  text += "store " + record.store + "\n";
  text += record.linkedFolder.empty() ? std::string("copies\n") : "links " + record.linkedFolder + "\n";
  for (const std::string& folder : record.made) text += "made " + folder + "\n";
  text += more;
  return text;
}

bool ParsePlacementRecord(std::string_view header, std::string_view text, PlacementRecord& record,
                          const std::function<bool(std::string_view line)>& more) {
  if (text.substr(0, header.size()) != header) return false;
  bool mode = false;
  for (std::size_t start = header.size(); start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return false;
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    // Every path in a record is absolute.
    auto after = [&](std::string_view word) -> std::optional<std::string> {
      if (line.substr(0, word.size()) != word || line.size() == word.size()) return std::nullopt;
      return "/" + std::string(line.substr(word.size()));
    };
    if (auto store = after("store /")) {
      record.store = *store;
    } else if (auto folder = after("links /")) {
      record.linkedFolder = *folder;
      mode = true;
    } else if (line == "copies") {
      mode = true;
    } else if (auto made = after("made /")) {
      record.made.push_back(*made);
    } else if (!more(line)) {
      return false;
    }
  }
  return !record.store.empty() && mode;
}

}  // namespace pw
