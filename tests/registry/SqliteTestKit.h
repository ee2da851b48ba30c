// Helpers shared by the SQLite store's tests: a whole-tree dump to compare a
// store's view with its file, and child processes that report back through a
// pipe.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "registry/SqliteStore.h"

namespace pw::test {

// Opens the store at `path` (creating it when missing), failing the test when
// it cannot.
std::unique_ptr<SqliteStore> MustOpen(const std::string& path,
                                      const std::function<void(RegistryStore&)>& layOut = {});

// Every key (with its class) and value under both hives, in enumeration order,
// one line each; a failing enumeration shows as a line with its status.
std::string DumpTree(RegistryStore& store);

// What a fresh store opened on the file reads: the file's own content.
std::string DumpFile(const std::string& path);

LONG SetDword(RegistryStore& store, HKEY key, const std::string& name, DWORD number);
LONG SetText(RegistryStore& store, HKEY key, const std::string& name, const std::string& text);
// The DWORD value, or -1 when it cannot be read.
long long GetDword(RegistryStore& store, HKEY key, const std::string& name);
HKEY MustCreateKey(RegistryStore& store, HKEY parent, const std::string& path);

// The names of the files in a folder, sorted, joined by spaces.
std::string FolderListing(const std::string& folder);

// A process forked to run `work`. The child never returns into the test: it
// sends whatever `work` returns (empty when all went well) through a pipe and
// ends with _exit. The parent must not hold an SQLite connection to a file the
// child uses when it forks, as SQLite's locks do not survive a fork.
class Child {
 public:
  explicit Child(const std::function<std::string()>& work);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits for the child and returns its report, or a line saying how it ended
  // when it did not end normally.
  std::string Finish();

 private:
  pid_t pid_ = -1;
  int reportFd_ = -1;
  bool finished_ = false;
};

// A one-way pipe whose ends close with the object.
struct Pipe {
  Pipe();
  ~Pipe();
  void CloseRead();
  void CloseWrite();
  int read = -1;
  int write = -1;
};

// Blocks until the other end writes one byte (true) or closes (false).
bool AwaitSignal(int fd);
void SendSignal(int fd);

}  // namespace pw::test
