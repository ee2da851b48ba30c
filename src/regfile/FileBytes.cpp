#include "regfile/FileBytes.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <istream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pw {

Result LoadStream(std::istream& in, const std::string& shown, std::string& bytes, std::size_t limit) {
  std::string content;
  char chunk[1 << 16];
  while (in) {
    in.read(chunk, sizeof chunk);
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (content.size() + got > limit) {
      return Result::Failure("cannot read " + shown + ": it holds more than " + std::to_string(limit >> 20) +
                             " MiB, far more than a file of its kind does");
    }
    content.append(chunk, got);
  }
  if (in.bad() || !in.eof()) {
    return Result::Failure("cannot read " + shown + ": a read failed" +
                           (errno ? std::string(": ") + std::strerror(errno) : ""));
  }
  bytes = std::move(content);
  return {};
}

Result LoadFile(const std::string& path, std::string& bytes, std::size_t limit) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) return Result::Failure("cannot read " + path + ": it is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Result::Failure("cannot read " + path + ": " + std::strerror(errno));
  errno = 0;
  return LoadStream(in, path, bytes, limit);
}

namespace {

// A short name in the file's folder for the new content: the file's own name
// may already be as long as a name can be.
std::string TempNameBeside(const std::string& path, std::uint32_t number) {
#ifdef _WIN32
  std::size_t slash = path.find_last_of("\\/");
#else
  std::size_t slash = path.rfind('/');
#endif
  char tail[16];
  std::snprintf(tail, sizeof tail, ".pw-%08x", static_cast<unsigned>(number));
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + tail;
}

}  // namespace

#ifdef _WIN32

Result SaveFileReplacing(const std::string& path, const std::string& bytes) {
  std::random_device random;
  std::string temp = TempNameBeside(path, random());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return Result::Failure("cannot write " + path);
    }
  }
  std::error_code code;
  std::filesystem::rename(temp, path, code);
  if (code) {
    std::filesystem::remove(temp, code);
    return Result::Failure("cannot write " + path + ": " + code.message());
  }
  return {};
}

#else

Result SaveFileReplacing(const std::string& path, const std::string& bytes) {
  auto fail = [&](const std::string& temp) {
    Result failure = Result::Failure("cannot write " + path + ": " + std::strerror(errno));
    if (!temp.empty()) ::unlink(temp.c_str());
    return failure;
  };
  mode_t mode = 0666;
  struct stat existing;
  bool replaces = ::stat(path.c_str(), &existing) == 0;
  if (replaces && !S_ISREG(existing.st_mode))
    return Result::Failure("cannot write " + path + ": it is not a regular file");
  std::random_device random;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = TempNameBeside(path, random());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return fail("");
  }
  if (fd < 0) return fail("");
  if (replaces) ::fchmod(fd, existing.st_mode & 07777);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = errno;
      ::close(fd);
      errno = saved;
      return fail(temp);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) return fail(temp);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(temp);
  return {};
}

#endif

}  // namespace pw
