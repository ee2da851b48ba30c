// What the Windows tests need from the platform besides the store: the wide
// registry view, other programs, and the folder they live in. Kept apart so
// that windows.h stays out of the tests (its macros clash with the store's
// names).
#pragma once

#include <string>
#include <vector>

namespace pw::test {

// The subkey names of HKEY_CURRENT_USER\path as the registry holds them
// (UTF-16), in enumeration order; empty when the key cannot be opened.
std::vector<std::wstring> SubkeyNamesW(const std::wstring& path);

// Creates HKEY_CURRENT_USER\path through the wide API; true on success.
bool CreateKeyW(const std::wstring& path);

// Deletes HKEY_CURRENT_USER\path with everything below it; true when it is gone.
bool DeleteTree(const std::string& path);

struct ProgramResult {
  int exitCode = -1;   // -1 when the program could not be started
  std::string output;  // standard output and standard error, together
};

// Runs a command line (program and arguments, quoted as the platform's command
// line is) in a new process and waits for it.
ProgramResult RunProgram(const std::string& commandLine);

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// The browser's zone logic (urlmon) in this process. Renew() makes a new
// security manager, which reads the zone map afresh.
class ZoneEngine {
 public:
  ZoneEngine();
  ~ZoneEngine();
  ZoneEngine(const ZoneEngine&) = delete;
  ZoneEngine& operator=(const ZoneEngine&) = delete;
  // False when the security manager could not be made.
  bool Renew();
  // The zone MapUrlToZone gives the address (UTF-8); -1 with the failure in
  // `failure` when it fails.
  long long Map(const std::string& url, std::string& failure);

 private:
  void* manager_ = nullptr;
  bool comStarted_ = false;
};

}  // namespace pw::test
