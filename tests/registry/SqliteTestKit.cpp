#include "SqliteTestKit.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "registry/Enumeration.h"
#include "registry/RegData.h"

namespace pw::test {
namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

void DumpKey(RegistryStore& store, HKEY key, const std::string& path, std::string& out) {
  LONG status = ForEachValue(store, key, [&](const EnumeratedValue& value) {
    out += path + " : " + value.name + " = " + std::to_string(value.type) + ":" + Hex(value.data) +
           "\n";
    return true;
  });
  if (status != ERROR_NO_MORE_ITEMS)
    out += path + " : values end with " + std::to_string(status) + "\n";
  std::vector<std::string> children;
  status = ForEachSubkey(store, key, [&](const std::string& name) {
    children.push_back(name);
    return true;
  });
  if (status != ERROR_NO_MORE_ITEMS)
    out += path + " : subkeys end with " + std::to_string(status) + "\n";
  for (DWORD index = 0; index < children.size(); ++index) {
    char cls[256];
    char name[256];
    DWORD nameLength = sizeof name, classLength = sizeof cls;
    std::string classText;
    if (store.RegEnumKeyExA(key, index, name, &nameLength, nullptr, cls, &classLength, nullptr) ==
        ERROR_SUCCESS)
      classText.assign(cls, classLength);
    std::string childPath = path + "\\" + children[index];
    out += childPath + " [" + classText + "]\n";
    HKEY child = 0;
    status = store.RegOpenKeyExA(key, children[index], 0, kAccess3F, &child);
    if (status != ERROR_SUCCESS) {
      out += childPath + " : open gives " + std::to_string(status) + "\n";
      continue;
    }
    DumpKey(store, child, childPath, out);
    store.RegCloseKey(child);
  }
}

}  // namespace

std::unique_ptr<SqliteStore> MustOpen(const std::string& path,
                                      const std::function<void(RegistryStore&)>& layOut) {
  SqliteStore::OpenResult result = SqliteStore::Open(path, layOut);
  EXPECT_TRUE(result.store) << result.error;
  return std::move(result.store);
}

std::string DumpTree(RegistryStore& store) {
  std::string out;
  DumpKey(store, HKEY_CURRENT_USER, "HKCU", out);
  DumpKey(store, HKEY_LOCAL_MACHINE, "HKLM", out);
  return out;
}

std::string DumpFile(const std::string& path) {
  SqliteStore::OpenResult result = SqliteStore::Open(path);
  if (!result.store) return "cannot open: " + result.error;
  return DumpTree(*result.store);
}

LONG SetDword(RegistryStore& store, HKEY key, const std::string& name, DWORD number) {
  BYTE b[4] = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
  return store.RegSetValueExA(key, name, 0, REG_DWORD, b, 4);
}

LONG SetText(RegistryStore& store, HKEY key, const std::string& name, const std::string& text) {
  return store.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size()));
}

long long GetDword(RegistryStore& store, HKEY key, const std::string& name) {
  BYTE b[4];
  DWORD size = sizeof b, type = 0;
  if (store.RegQueryValueExA(key, name, nullptr, &type, b, &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return -1;
  std::optional<std::uint32_t> number = DwordValue(type, std::string_view(reinterpret_cast<const char*>(b), size));
  return number ? static_cast<long long>(*number) : -1;
}

HKEY MustCreateKey(RegistryStore& store, HKEY parent, const std::string& path) {
  HKEY h = 0;
  EXPECT_EQ(store.RegCreateKeyExA(parent, path, 0, nullptr, 0, kAccess3F, nullptr, &h, nullptr),
            ERROR_SUCCESS)
      << path;
  return h;
}

std::string FolderListing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
  return out;
}

Pipe::Pipe() {
  int fds[2];
  if (::pipe(fds) == 0) {
    read = fds[0];
    write = fds[1];
  }
}

Pipe::~Pipe() {
  CloseRead();
  CloseWrite();
}

void Pipe::CloseRead() {
  if (read >= 0) ::close(read);
  read = -1;
}

void Pipe::CloseWrite() {
  if (write >= 0) ::close(write);
  write = -1;
}

bool AwaitSignal(int fd) {
  char byte;
  for (;;) {
    ssize_t n = ::read(fd, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1;
  }
}

void SendSignal(int fd) {
  char byte = 1;
  while (::write(fd, &byte, 1) < 0 && errno == EINTR) {
  }
}

Child::Child(const std::function<std::string()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  std::fflush(nullptr);  // output buffered before the fork must not be written twice
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(fds[0]);
    std::string report;
    try {
      report = work();
    } catch (...) {
      report = "the child threw";
    }
    const char* p = report.data();
    std::size_t left = report.size();
    while (left > 0) {
      ssize_t n = ::write(fds[1], p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  reportFd_ = fds[0];
}

Child::~Child() {
  if (pid_ > 0 && !finished_) {
    ::kill(pid_, SIGKILL);
    Finish();
  }
  if (reportFd_ >= 0) ::close(reportFd_);
}

std::string Child::Finish() {
  if (pid_ <= 0) return "the child could not be started";
  std::string report;
  char buffer[512];
  for (;;) {
    ssize_t n = ::read(reportFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    report.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  finished_ = true;
  if (WIFSIGNALED(status))
    report += "the child ended by signal " + std::to_string(WTERMSIG(status));
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    report += "the child exited with " + std::to_string(WEXITSTATUS(status));
  return report;
}

}  // namespace pw::test
