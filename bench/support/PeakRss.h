// The peak memory of the command line doing one job in a fresh process.
//
// Peak memory is the child's maximum resident set as the kernel accounts it
// (wait4). That figure also counts what the process held before its exec, so
// the command line is not started from the benchmark process, whose memory is
// large by now: the benchmark program is started afresh in its "--peak-rss-of"
// mode, and that small process starts the command line and reports the figure.
// A benchmark program using this has PeakRssBenchmarkMain as its main().
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace pw::bench {

inline constexpr const char* kPeakMode = "--peak-rss-of";

// In the fresh process: runs argv, prints its peak in kilobytes (-1 when it
// failed) and the processor time it took in seconds (user and system).
inline int ReportPeakRss(char** argv) {
  pid_t child = ::fork();
  if (child == 0) {
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(126);
    ::execv(argv[0], argv);
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  bool ok = ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  std::printf("%ld %.6f\n", ok ? static_cast<long>(usage.ru_maxrss) : -1L, cpu);
  return 0;
}

// Reports a peak when started in the peak mode; runs the benchmarks otherwise.
inline int PeakRssBenchmarkMain(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == kPeakMode) return ReportPeakRss(argv + 2);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

struct ChildCost {
  long peakKilobytes = -1;  // -1: the program failed
  double cpuSeconds = 0;
};

// Runs `binary` with `args` in a fresh process, its standard input read from
// `input` when given; its peak resident set and processor time.
inline ChildCost CostOf(const std::string& binary, const std::vector<std::string>& args,
                        const std::string& input = {}) {
  std::vector<std::string> words = {"/proc/self/exe", kPeakMode, binary};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int fds[2];
  if (::pipe(fds) != 0) return {};
  pid_t helper = ::fork();
  if (helper == 0) {
    if (!input.empty() && !std::freopen(input.c_str(), "r", stdin)) ::_exit(126);
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[64];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(helper, &status, 0);
  ChildCost cost;
  char* end = nullptr;
  if (!text.empty()) cost.peakKilobytes = std::strtol(text.c_str(), &end, 10);
  if (end) cost.cpuSeconds = std::strtod(end, nullptr);
  return cost;
}

// Runs `binary` with `args` in a fresh process; its peak resident set in
// kilobytes, or -1.
inline long PeakKilobytesOf(const std::string& binary, const std::vector<std::string>& args) {
  return CostOf(binary, args).peakKilobytes;
}

}  // namespace pw::bench
