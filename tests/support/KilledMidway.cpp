#include "KilledMidway.h"

#if defined(PW_HAVE_SQLITE) && !defined(_WIN32)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "registry/ForwardingStore.h"
#include "registry/SqliteStore.h"

namespace pw::test {
namespace {

// At the n-th value written, tells the parent through a pipe and waits to be
// killed.
class StallingStore : public ForwardingStore {
 public:
  StallingStore(RegistryStore& target, int stallAt, int signalFd)
      : ForwardingStore(target), left_(stallAt), fd_(signalFd) {}
  LONG RegSetValueExA(HKEY key, RegName name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) override {
    if (--left_ == 0) {
      char byte = 'k';
      if (::write(fd_, &byte, 1) != 1) ::_exit(3);
      while (true) ::pause();
    }
    return ForwardingStore::RegSetValueExA(key, name, reserved, type, data, size);
  }

 private:
  int left_;
  int fd_;
};

}  // namespace

int RunInChildKilledAt(const std::string& path, int killAt, const std::function<int(RegistryStore&)>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    SqliteStore::OpenResult opened = SqliteStore::Open(path);
    if (!opened.store) ::_exit(2);
    StallingStore stalling(*opened.store, killAt, fds[1]);
    ::_exit(work(stalling));
  }
  ::close(fds[1]);
  char byte = 0;
  if (killAt > 0) {
    // The child is now stalled in the middle of its transaction.
    EXPECT_EQ(::read(fds[0], &byte, 1), 1);
    ::kill(child, SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(fds[0]);
  return status;
}

}  // namespace pw::test
#endif
