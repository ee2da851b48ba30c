#include "browser/FirefoxSession.h"

#include <fcntl.h>
#include <lz4.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

namespace pw {
namespace {

constexpr std::string_view kMagic("mozLz40\0", 8);
constexpr std::size_t kHeaderSize = 12;
// Beyond any real session; a damaged size field must not allocate gigabytes.
constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;
constexpr std::size_t kMaxTextSize = std::size_t{1} << 30;

// The whole of a regular file, or nothing. Opened without blocking, so that a
// pipe or device put in the file's place cannot make start-up wait.
std::optional<std::string> ReadRegularFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kMaxFileSize) {
    std::string data(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
      ssize_t got = ::read(fd, data.data() + done, data.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    data.resize(done);  // a file cut short meanwhile fails to decode
    bytes = std::move(data);
  }
  ::close(fd);
  return bytes;
}

const nlohmann::json* Field(const nlohmann::json& object, const char* name) {
  auto found = object.find(name);
  return found == object.end() ? nullptr : &*found;
}

bool IsTrue(const nlohmann::json* value) { return value && value->is_boolean() && value->get<bool>(); }

// The tab's current address; empty when it has none.
std::string TabAddress(const nlohmann::json& tab) {
  const nlohmann::json* entries = Field(tab, "entries");
  if (!entries || !entries->is_array() || entries->empty()) {
    const nlohmann::json* typed = Field(tab, "userTypedValue");
    return typed && typed->is_string() ? typed->get<std::string>() : std::string();
  }
  std::size_t count = entries->size();
  std::size_t index = count;
  const nlohmann::json* given = Field(tab, "index");
  if (given && given->is_number_integer()) {
    auto number = given->get<std::int64_t>();
    index = number < 1 ? 1 : static_cast<std::size_t>(std::min<std::int64_t>(number, static_cast<std::int64_t>(count)));
  }
  const nlohmann::json& entry = (*entries)[index - 1];
  if (!entry.is_object()) return {};
  const nlohmann::json* url = Field(entry, "url");
  return url && url->is_string() ? url->get<std::string>() : std::string();
}

bool Offerable(const std::string& address) {
  if (address.empty() || address.rfind("about:", 0) == 0) return false;
  return std::none_of(address.begin(), address.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

std::optional<std::string> DecodeSessionFile(std::string_view bytes) {
  if (bytes.size() <= kHeaderSize || bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  std::size_t size = 0;
  for (std::size_t i = 0; i < 4; ++i) size |= std::size_t{static_cast<unsigned char>(bytes[8 + i])} << (8 * i);
  std::size_t packed = bytes.size() - kHeaderSize;
  // LZ4 cannot expand a byte into more than 255.
  if (size == 0 || size > kMaxTextSize || size / 255 > packed) return std::nullopt;
  std::string text(size, '\0');
  int got = LZ4_decompress_safe(bytes.data() + kHeaderSize, text.data(), static_cast<int>(packed),
                                static_cast<int>(size));
  if (got < 0 || static_cast<std::size_t>(got) != size) return std::nullopt;
  return text;
}

std::optional<std::vector<std::string>> SessionPageAddresses(std::string_view json) {
  nlohmann::json session = nlohmann::json::parse(json, nullptr, false);
  if (session.is_discarded() || !session.is_object()) return std::nullopt;
  std::vector<std::string> addresses;
  const nlohmann::json* windows = Field(session, "windows");
  if (!windows || !windows->is_array()) return addresses;
  for (const nlohmann::json& window : *windows) {
    if (!window.is_object() || IsTrue(Field(window, "isPrivate"))) continue;
    const nlohmann::json* tabs = Field(window, "tabs");
    if (!tabs || !tabs->is_array()) continue;
    for (const nlohmann::json& tab : *tabs) {
      if (!tab.is_object()) continue;
      std::string address = TabAddress(tab);
      if (Offerable(address)) addresses.push_back(std::move(address));
    }
  }
  return addresses;
}

std::vector<std::string> ProfileOpenPages(const std::string& profileFolder) {
  struct Candidate {
    std::string path;
    struct timespec modified;
  };
  std::vector<Candidate> candidates;
  for (const char* name :
       {"sessionstore-backups/recovery.jsonlz4", "sessionstore-backups/recovery.baklz4", "sessionstore.jsonlz4"}) {
    std::string path = profileFolder + "/" + name;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) candidates.push_back({path, info.st_mtim});
  }
  std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
    return a.modified.tv_nsec > b.modified.tv_nsec;
  });
  for (const Candidate& candidate : candidates) {
    std::optional<std::string> bytes = ReadRegularFile(candidate.path);
    if (!bytes) continue;
    std::optional<std::string> text = DecodeSessionFile(*bytes);
    if (!text) continue;
    if (std::optional<std::vector<std::string>> addresses = SessionPageAddresses(*text)) return *addresses;
  }
  return {};
}

}  // namespace pw
