// Whether a piece of work fits in a memory budget: it runs in a child process
// whose address space may grow by `bytes` at most beyond what it starts with.
// Work whose memory grows faster than its input runs out and fails there.
#pragma once

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <new>

namespace pw::test {

inline bool FitsInMemory(std::size_t bytes, const std::function<void()>& work) {
  pid_t child = ::fork();
  if (child == 0) {
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + bytes;
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
    try {
      work();
    } catch (const std::bad_alloc&) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace pw::test
#endif
