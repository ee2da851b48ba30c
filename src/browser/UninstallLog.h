// The setup's uninstall log, appended to one record at a time. The program may
// run with more rights than whoever can write the log's folder, so the log is
// opened only as a regular file of its own: never through a link, never a pipe
// or device (which could make the start-up wait or write elsewhere).
#pragma once

#include <cstdint>
#include <string>

namespace pw {

class UninstallLog {
 public:
  // Opens `path` for appending, creating it when it is absent.
  explicit UninstallLog(std::string path);
  ~UninstallLog();
  UninstallLog(const UninstallLog&) = delete;
  UninstallLog& operator=(const UninstallLog&) = delete;

  // False once opening or a write has failed; Error() then says why.
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  // Appends `ACTION: KIND: "FIRST", "SECOND"` and CR LF.
  void Record(const char* kind, const std::string& first, const std::string& second);

  // Takes back every line appended since the log was opened: cuts the file to
  // the length it had, or removes it when it was made here. Its error, if any,
  // is added to Error().
  void TakeBack();

 private:
  void Fail(const std::string& what);

  std::string path_;
  std::string error_;
  bool created_ = false;
  std::uint64_t length_ = 0;  // when opened
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace pw
