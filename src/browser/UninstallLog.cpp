#include "browser/UninstallLog.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pw {

void UninstallLog::Fail(const std::string& what) {
  if (error_.empty()) error_ = what;
}

void UninstallLog::Record(const char* kind, const std::string& first, const std::string& second) {
  if (!Ok()) return;
  std::string line = std::string("ACTION: ") + kind + ": \"" + first + "\", \"" + second + "\"\r\n";
#if defined(_WIN32)
  DWORD written = 0;
  HANDLE handle = static_cast<HANDLE>(handle_);
  bool done = ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END) &&
              ::WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
              written == line.size();
  if (!done) Fail("cannot write to " + path_ + " (error " + std::to_string(::GetLastError()) + ")");
#else
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail("cannot write to " + path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC));
      return;
    }
    done += static_cast<std::size_t>(n);
  }
#endif
}

#if defined(_WIN32)

UninstallLog::UninstallLog(std::string path) : path_(std::move(path)) {
  // The reparse-point flag opens a link itself, which is then refused.
  HANDLE handle = ::CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail("cannot open " + path_ + " for appending (error " + std::to_string(::GetLastError()) + ")");
    return;
  }
  created_ = ::GetLastError() != ERROR_ALREADY_EXISTS;
  handle_ = handle;
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER size{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      info.nNumberOfLinks != 1 || !::GetFileSizeEx(handle, &size)) {
    ::CloseHandle(handle);
    handle_ = nullptr;
    Fail("cannot open " + path_ + " for appending: it is not a file of its own (a link, a device or a folder)");
    return;
  }
  length_ = static_cast<std::uint64_t>(size.QuadPart);
}

UninstallLog::~UninstallLog() {
  if (handle_) ::CloseHandle(static_cast<HANDLE>(handle_));
}

void UninstallLog::TakeBack() {
  if (!handle_) return;
  HANDLE handle = static_cast<HANDLE>(handle_);
  if (created_) {
    ::CloseHandle(handle);
    handle_ = nullptr;
    if (!::DeleteFileA(path_.c_str())) Fail("cannot remove " + path_ + " again");
    return;
  }
  LARGE_INTEGER length;
  length.QuadPart = static_cast<LONGLONG>(length_);
  if (!::SetFilePointerEx(handle, length, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle))
    Fail("cannot take the records back out of " + path_);
}

#else

UninstallLog::UninstallLog(std::string path) : path_(std::move(path)) {
  // Without waiting: a pipe with no reader fails at once, one with a reader is
  // refused below.
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 2 && fd_ < 0; ++attempt) {
    fd_ = ::open(path_.c_str(), flags);
    if (fd_ >= 0 || errno != ENOENT) break;
    fd_ = ::open(path_.c_str(), flags | O_CREAT | O_EXCL, 0666);
    created_ = fd_ >= 0;
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    Fail("cannot open " + path_ + " for appending: " +
         (errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno)));
    return;
  }
  struct stat info;
  const char* refusal = nullptr;
  if (::fstat(fd_, &info) != 0) refusal = std::strerror(errno);
  else if (!S_ISREG(info.st_mode)) refusal = "it is not a regular file";
  else if (info.st_nlink != 1) refusal = "it has other names (hard links)";
  if (refusal) {
    ::close(fd_);
    fd_ = -1;
    Fail("cannot open " + path_ + " for appending: " + refusal);
    return;
  }
  length_ = static_cast<std::uint64_t>(info.st_size);
}

UninstallLog::~UninstallLog() {
  if (fd_ >= 0) ::close(fd_);
}

void UninstallLog::TakeBack() {
  if (fd_ < 0) return;
  if (created_) {
    // Only the file opened here, should another have taken its name since.
    struct stat opened, named;
    if (::fstat(fd_, &opened) == 0 && ::lstat(path_.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino && ::unlink(path_.c_str()) == 0)
      return;
  }
  if (::ftruncate(fd_, static_cast<off_t>(length_)) != 0)
    Fail("cannot take the records back out of " + path_ + ": " + std::strerror(errno));
}

#endif

}  // namespace pw
