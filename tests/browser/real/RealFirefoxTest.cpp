// Debian's Firefox, headless on a fresh profile, shows two pages served on
// loopback; `portwarden-cli open-pages` then lists both from its session file.
// The program first moves into a network namespace of its own with only
// loopback up, so the browser reaches nothing outside the machine.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Process.h"
#include "TempDir.h"

extern char** environ;

namespace pw::test {
namespace {

using Clock = std::chrono::steady_clock;

// Empty when this process now has a network of its own with only loopback up.
std::string EnterPrivateNetwork() {
  uid_t uid = geteuid();
  gid_t gid = getegid();
  if (unshare(uid == 0 ? CLONE_NEWNET : CLONE_NEWUSER | CLONE_NEWNET) != 0)
    return std::string("unshare: ") + std::strerror(errno);
  if (uid != 0) {
    WriteFileBytes("/proc/self/setgroups", "deny");
    WriteFileBytes("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
    WriteFileBytes("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
  }
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request = {};
  std::strcpy(request.ifr_name, "lo");
  bool up = ioctl(s, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags |= IFF_UP, ioctl(s, SIOCSIFFLAGS, &request) == 0);
  close(s);
  if (!up) return "cannot bring loopback up";
  struct if_nameindex* names = if_nameindex();
  bool onlyLoopback = names && names[0].if_name && std::strcmp(names[0].if_name, "lo") == 0 && !names[1].if_name;
  if_freenameindex(names);
  return onlyLoopback ? "" : "the namespace has other interfaces";
}

// Answers every request with a small page until destroyed.
class PageServer {
 public:
  PageServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(listener_, 16) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~PageServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Url(const std::string& page) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + page; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd ready = {listener_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string request;
      char buffer[2048];
      pollfd in = {client, POLLIN, 0};
      while (request.find("\r\n\r\n") == std::string::npos && poll(&in, 1, 2000) > 0) {
        ssize_t got = read(client, buffer, sizeof buffer);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
      }
      std::string body = "<!DOCTYPE html><title>page</title><p>" + request.substr(0, request.find('\r'));
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body;
      (void)!write(client, reply.data(), reply.size());
      close(client);
    }
  }
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// A browser in a process group of its own, ended with everything it started.
struct Browser {
  pid_t pid = -1;
  ~Browser() {
    if (pid <= 0) return;
    killpg(pid, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) usleep(100000);
    killpg(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  bool Running() const { return waitpid(pid, nullptr, WNOHANG) == 0; }
};

TEST(RealFirefox, OpenPagesListsTheTabsOfARunningFirefox) {
  std::string isolation = EnterPrivateNetwork();
  ASSERT_EQ(isolation, "") << "the browser must not reach the network";
  TempDir home;
  std::filesystem::path root = home.Path() / ".mozilla/firefox";
  std::filesystem::create_directories(root / "pw.test");
  WriteFileBytes((root / "profiles.ini").string(),
                 "[Profile0]\nName=test\nIsRelative=1\nPath=pw.test\n\n[General]\nStartWithLastProfile=1\nVersion=2\n");
  WriteFileBytes((root / "installs.ini").string(), "[0123456789ABCDEF]\nDefault=pw.test\nLocked=1\n");
  std::string prefs;
  for (const char* pref : {"\"browser.sessionstore.interval\", 1000", "\"network.dns.disabled\", true",
                           "\"browser.shell.checkDefaultBrowser\", false", "\"datareporting.policy.firstRunURL\", \"\"",
                           "\"browser.startup.homepage_override.mstone\", \"ignore\"", "\"app.update.auto\", false",
                           "\"browser.aboutwelcome.enabled\", false", "\"toolkit.telemetry.reportingpolicy.firstRun\", false"})
    prefs += std::string("user_pref(") + pref + ");\n";
  WriteFileBytes((root / "pw.test/user.js").string(), prefs);

  PageServer server;
  std::string expected = server.Url("one.html") + "\n" + server.Url("two.html") + "\n";
  std::string profile = (root / "pw.test").string(), log = home.File("firefox.log"), homeVar = "HOME=" + home.Path().string();
  std::vector<std::string> args = {"firefox-esr", "--headless", "--no-remote", "--profile", profile,
                                   server.Url("one.html"), server.Url("two.html")};
  std::vector<std::string> env = {homeVar, "MOZ_HEADLESS=1", "MOZ_CRASHREPORTER_DISABLE=1"};
  for (char** var = environ; *var; ++var)
    if (std::strncmp(*var, "HOME=", 5) != 0 && std::strncmp(*var, "XDG_CONFIG_HOME=", 16) != 0) env.push_back(*var);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);

  Clock::time_point start = Clock::now();
  Browser browser;
  int spawned = posix_spawnp(&browser.pid, "firefox-esr", &files, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  ASSERT_EQ(spawned, 0) << "firefox-esr cannot be started (Debian package firefox-esr): " << std::strerror(spawned);

  ProcessResult listed;
  while (Clock::now() - start < std::chrono::seconds(90) && browser.Running()) {
    listed = RunProcess(PW_CLI_BINARY, {"open-pages"}, "", {{"HOME", home.Path().string()}, {"XDG_CONFIG_HOME", ""}});
    if (listed.out == expected) break;
    usleep(500000);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(listed.out, expected) << listed.err << "\nFirefox said:\n" << ReadFileBytes(log);
  EXPECT_EQ(listed.code, 0);
  std::cout << "open-pages listed Firefox's two pages " << seconds << " s after it started\n";
}

}  // namespace
}  // namespace pw::test
