// A print server of the test's own: cupsd as root in a mount namespace where a
// private /etc/cups stands in for the machine's, with a queue that writes PDF
// files into the test's folder. This process and the programs it starts print
// there (CUPS_SERVER). The server ends with this object or with the process.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

#include "TempDir.h"

namespace pw::test {

class PrivateCups {
 public:
  PrivateCups();  // a server without printers; Error() says why there is none
  ~PrivateCups();
  const std::string& Error() const { return error_; }

  // Runs an administration command (lpadmin, cupsreject, ...) on the server;
  // false when it fails.
  bool Admin(const std::string& program, const std::vector<std::string>& args);
  // The queue "PDF" as the default printer; gone again.
  bool AddPdfQueue();
  bool RemovePdfQueue() { return Admin("/usr/sbin/lpadmin", {"-x", "PDF"}); }

  // Waits until no job is left and `count` PDF files are there; returns the
  // files in the order of their jobs.
  std::vector<std::string> WaitForPdfs(std::size_t count, std::chrono::seconds timeout);
  // The server's and the queue's logs and the last failed command.
  std::string Logs() const;

 private:
  TempDir dir_;
  std::string socket_;
  pid_t pid_ = -1;
  std::string error_;
};

}  // namespace pw::test
