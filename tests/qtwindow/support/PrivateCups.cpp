#include "PrivateCups.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Process.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Connects(const std::string& socketPath) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// The number in the queue's file names, "job_<id>-<title>.pdf".
long JobNumber(const fs::path& file) { return std::atol(file.filename().string().c_str() + 4); }

}  // namespace

PrivateCups::PrivateCups() {
  const std::string r = dir_.Path().string();
  for (const char* folder : {"etc/ppd", "etc/ssl", "spool", "cache", "state", "tmp", "out", "cpspool", "log"})
    fs::create_directories(r + "/" + folder);
  // Filters run as the user lp.
  fs::permissions(r, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                         fs::perms::others_exec);
  fs::permissions(r + "/tmp", fs::perms::all | fs::perms::sticky_bit);
  socket_ = r + "/state/cups.sock";
  WriteFileBytes(r + "/etc/cupsd.conf", "Listen " + socket_ +
                                            "\nLogLevel warn\nWebInterface no\nBrowsing off\nDefaultAuthType None\n"
                                            "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                                            "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n");
  WriteFileBytes(r + "/etc/cups-files.conf", "ServerRoot /etc/cups\nSystemGroup root\nRequestRoot " + r +
                                                 "/spool\nTempDir " + r + "/tmp\nCacheDir " + r + "/cache\nStateDir " +
                                                 r + "/state\nErrorLog " + r + "/log/error_log\nAccessLog " + r +
                                                 "/log/access_log\nPageLog " + r + "/log/page_log\n");
  // The queue's backend reads its settings from /etc/cups only.
  WriteFileBytes(r + "/etc/cups-pdf.conf", "Out " + r + "/out\nAnonDirName " + r + "/out\nSpool " + r +
                                               "/cpspool\nLog " + r + "/log\nGrp root\nLabel 1\n");
  if (::geteuid() != 0) {
    error_ = "the private print server must run as root";
    return;
  }
  if (!fs::exists("/usr/sbin/cupsd") || !fs::exists("/usr/lib/cups/backend/cups-pdf")) {
    error_ = "cupsd or the cups-pdf backend is missing: install cups and printer-driver-cups-pdf";
    return;
  }
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // the server ends with the test, also when that is killed
    if (::getppid() != parent) _exit(1);
    int log = ::open((r + "/log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::execl("/usr/bin/unshare", "unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
            "mount --bind \"$0/etc\" /etc/cups && exec /usr/sbin/cupsd -f -c /etc/cups/cupsd.conf "
            "-s /etc/cups/cups-files.conf",
            r.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (auto deadline = Clock::now() + 15s; !Connects(socket_); std::this_thread::sleep_for(20ms)) {
    int status;
    bool ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
    if (ended || Clock::now() > deadline) {
      if (ended) pid_ = -1;
      error_ = "the print server did not start: " + Logs();
      return;
    }
  }
  ::setenv("CUPS_SERVER", socket_.c_str(), 1);
}

PrivateCups::~PrivateCups() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  for (auto deadline = Clock::now() + 10s; ::waitpid(pid_, &status, WNOHANG) == 0; std::this_thread::sleep_for(20ms))
    if (Clock::now() > deadline) ::kill(pid_, SIGKILL);
}

bool PrivateCups::Admin(const std::string& program, const std::vector<std::string>& args) {
  ProcessResult run = RunProcess(program, args, "", {{"CUPS_SERVER", socket_}});
  if (run.code != 0) error_ = program + " failed (" + std::to_string(run.code) + "): " + run.err;
  return run.code == 0;
}

bool PrivateCups::AddPdfQueue() {
  // A failing job is dropped rather than stopping the queue, which would hold
  // every later job; pdftocairo keeps the pages' text readable.
  return Admin("/usr/sbin/lpadmin",
               {"-p", "PDF", "-E", "-v", "cups-pdf:/", "-m", "lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd", "-o",
                "pdftops-renderer-default=pdftocairo", "-o", "printer-error-policy=abort-job"}) &&
         Admin("/usr/sbin/lpadmin", {"-d", "PDF"});
}

std::vector<std::string> PrivateCups::WaitForPdfs(std::size_t count, std::chrono::seconds timeout) {
  std::vector<fs::path> files;
  for (auto deadline = Clock::now() + timeout; Clock::now() < deadline; std::this_thread::sleep_for(100ms)) {
    files.clear();
    for (const auto& entry : fs::directory_iterator(dir_.Path() / "out"))
      if (entry.path().extension() == ".pdf") files.push_back(entry.path());
    if (files.size() >= count && RunProcess("/usr/bin/lpstat", {"-o"}).out.empty()) break;
  }
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) { return JobNumber(a) < JobNumber(b); });
  return {files.begin(), files.end()};
}

std::string PrivateCups::Logs() const {
  std::string logs = error_;
  for (const char* name : {"cupsd.out", "error_log", "cups-pdf-PDF_log"})
    logs += std::string("\n--- ") + name + "\n" + ReadFileBytes(dir_.File("log/" + std::string(name)));
  return logs;
}

}  // namespace pw::test
