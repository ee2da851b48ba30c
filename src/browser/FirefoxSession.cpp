#include "browser/FirefoxSession.h"

#include <fcntl.h>
#include <lz4.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

namespace pw {
namespace {

constexpr std::string_view kMagic("mozLz40\0", 8);
constexpr std::size_t kHeaderSize = 12;
// Far beyond a real session (a few hundred kilobytes for dozens of tabs): a
// larger file, or one claiming a larger text, is not read, so that a damaged
// or hostile file costs milliseconds and megabytes, not minutes and gigabytes.
constexpr std::size_t kMaxFileSize = std::size_t{8} << 20;
constexpr std::size_t kMaxTextSize = std::size_t{8} << 20;

// Reads a session's text as it streams past, keeping only what is offered:
// each tab's current address, window by window. Far less memory than the text
// itself, where a document of it would take many times more. Where a key is
// given twice the later value counts, as in a document.
class SessionReader : public nlohmann::json_sax<nlohmann::json> {
 public:
  std::vector<std::string> addresses;
  bool rootIsObject = false;

  bool null() override { return Scalar(); }
  bool boolean(bool value) override {
    if (Innermost() == Role::Window && key_ == "isPrivate") window_.isPrivate = value;
    return Scalar();
  }
  bool number_integer(number_integer_t value) override {
    if (Innermost() == Role::Tab && key_ == "index") tab_.index = value < 1 ? 1 : static_cast<std::uint64_t>(value);
    return Scalar();
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (Innermost() == Role::Tab && key_ == "index") tab_.index = value < 1 ? 1 : value;
    return Scalar();
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar(); }
  bool string(string_t& value) override {
    if (Innermost() == Role::Tab && key_ == "userTypedValue") tab_.typed = std::move(value);
    else if (Innermost() == Role::Entry && key_ == "url") tab_.entries.back() = std::move(value);
    return Scalar();
  }
  bool binary(binary_t&) override { return Scalar(); }

  bool key(string_t& name) override {
    key_ = std::move(name);
    // A key given again starts its value afresh.
    switch (Innermost()) {
      case Role::Root:
        if (key_ == "windows") addresses.clear();
        break;
      case Role::Window:
        if (key_ == "isPrivate") window_.isPrivate = false;
        if (key_ == "tabs") window_.tabs.clear();
        break;
      case Role::Tab:
        if (key_ == "entries") tab_.entries.clear(), tab_.entriesGiven = false;
        if (key_ == "index") tab_.index.reset();
        if (key_ == "userTypedValue") tab_.typed.clear();
        break;
      default:
        break;
    }
    return true;
  }

  bool start_object(std::size_t) override { return Open(true); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  enum class Role : unsigned char { Other, Root, Windows, Window, Tabs, Tab, Entries, Entry };

  Role Innermost() const { return stack_.empty() ? Role::Other : stack_.back(); }

  // A scalar in an entries list is an entry without an address.
  bool Scalar() {
    if (Innermost() == Role::Entries) tab_.entries.emplace_back();
    return true;
  }

  bool Open(bool object) {
    Role parent = Innermost();
    Role role = Role::Other;
    if (stack_.empty()) {
      rootIsObject = object;
      role = object ? Role::Root : Role::Other;
    } else if (!object) {
      if (parent == Role::Root && key_ == "windows") role = Role::Windows;
      else if (parent == Role::Window && key_ == "tabs") role = Role::Tabs;
      else if (parent == Role::Tab && key_ == "entries") role = Role::Entries, tab_.entriesGiven = true;
    } else if (parent == Role::Windows) {
      role = Role::Window;
      window_ = {};
    } else if (parent == Role::Tabs) {
      role = Role::Tab;
      tab_ = {};
    } else if (parent == Role::Entries) {
      role = Role::Entry;
    }
    if (parent == Role::Entries) tab_.entries.emplace_back();
    stack_.push_back(role);
    key_.clear();
    return true;
  }

  bool Close() {
    Role role = Innermost();
    stack_.pop_back();
    key_.clear();
    if (role == Role::Tab) {
      std::string address = TabAddress();
      if (Offerable(address)) window_.tabs.push_back(std::move(address));
    } else if (role == Role::Window && !window_.isPrivate) {
      for (std::string& address : window_.tabs) addresses.push_back(std::move(address));
    }
    return true;
  }

  // The tab's current entry (its 1-based index, else the last), or the typed
  // text when it has no entries.
  std::string TabAddress() {
    if (!tab_.entriesGiven || tab_.entries.empty()) return std::move(tab_.typed);
    std::size_t index = tab_.index ? static_cast<std::size_t>(std::min<std::uint64_t>(*tab_.index, tab_.entries.size()))
                                   : tab_.entries.size();
    return std::move(tab_.entries[index - 1]);
  }

  static bool Offerable(const std::string& address) {
    if (address.empty() || address.rfind("about:", 0) == 0) return false;
    return std::none_of(address.begin(), address.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  }

  std::vector<Role> stack_;
  std::string key_;  // the key whose value comes next in the innermost object
  struct {
    bool isPrivate = false;
    std::vector<std::string> tabs;  // the offered addresses of its tabs so far
  } window_;
  struct {
    bool entriesGiven = false;         // "entries" is a list
    std::vector<std::string> entries;  // each entry's address, empty when it has none
    std::optional<std::uint64_t> index;
    std::string typed;
  } tab_;
};

}  // namespace

std::optional<std::string> ReadProfileFile(const std::string& path, std::size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= limit) {
    std::string data(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
      ssize_t got = ::read(fd, data.data() + done, data.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    data.resize(done);  // a file cut short meanwhile fails to decode
    bytes = std::move(data);
  }
  ::close(fd);
  return bytes;
}

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
  SessionReader reader;
  if (!nlohmann::json::sax_parse(json.begin(), json.end(), &reader) || !reader.rootIsObject) return std::nullopt;
  return std::move(reader.addresses);
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
    std::optional<std::string> bytes = ReadProfileFile(candidate.path, kMaxFileSize);
    if (!bytes) continue;
    std::optional<std::string> text = DecodeSessionFile(*bytes);
    if (!text) continue;
    if (std::optional<std::vector<std::string>> addresses = SessionPageAddresses(*text)) return *addresses;
  }
  return {};
}

}  // namespace pw
