#include "regfile/PolicyFile.h"

#include "regfile/TextCodec.h"

namespace pw {
namespace {

constexpr std::string_view kSignature = "PReg";
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 8;

std::uint32_t Number32(std::string_view bytes, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

void AppendUnit(std::string& out, char16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// The size a value of `type` must have, or 0 when any size will do; -1 for a
// type the registry does not know.
int FixedSize(DWORD type) {
  switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: return 4;
    case REG_QWORD: return 8;
    default: return type <= REG_QWORD ? 0 : -1;
  }
}

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
}

class Reader {
 public:
  Reader(std::string_view bytes, PolicyFileError& error) : bytes_(bytes), error_(error) {}

  bool Read(std::vector<PolicyEntry>& entries) {
    if (bytes_.size() < kHeaderSize || bytes_.substr(0, 4) != kSignature)
      return Fail(bytes_.empty() ? "the file is empty"
                                 : "not a Group Policy registry file: it does not start with \"PReg\" and a version");
    if (std::uint32_t version = Number32(bytes_, 4); version != kVersion)
      return Fail("version " + std::to_string(version) + "; only version 1 is known");
    pos_ = kHeaderSize;
    while (pos_ < bytes_.size()) {
      ++error_.entry;
      error_.offset = pos_;
      PolicyEntry entry;
      entry.offset = pos_;
      if (!Unit(u'[', "'[' opening the entry") || !Name(entry.key, "key name") || !Unit(u';', "';' after the key") ||
          !Name(entry.name, "value name") || !Unit(u';', "';' after the value name") || !Number(entry.type, "type") ||
          !Unit(u';', "';' after the type"))
        return false;
      DWORD size = 0;
      if (!Number(size, "size") || !Unit(u';', "';' after the size")) return false;
      if (entry.key.empty()) return Fail("the key name is empty");
      int fixed = FixedSize(entry.type);
      if (fixed < 0) return Fail("unknown value type " + std::to_string(entry.type));
      if (fixed > 0 && size != static_cast<DWORD>(fixed))
        return Fail("a value of type " + std::to_string(entry.type) + " has " + std::to_string(fixed) +
                    " bytes, not " + std::to_string(size));
      if (IsText(entry.type) && size % 2)
        return Fail("text data of " + std::to_string(size) + " bytes is not whole UTF-16 characters");
      if (size > bytes_.size() - pos_)
        return Fail("the data (" + std::to_string(size) + " bytes) runs past the end of the file");
      entry.data.assign(bytes_.substr(pos_, size));
      pos_ += size;
      if (!Unit(u']', "']' closing the entry")) return false;
      entries.push_back(std::move(entry));
    }
    return true;
  }

 private:
  bool Fail(std::string what) {
    error_.what = std::move(what);
    return false;
  }

  bool Unit(char16_t expected, const char* what) {
    if (bytes_.size() - pos_ < 2) return Fail(std::string("the file is cut short: expected ") + what);
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes_[pos_]) |
                                          static_cast<unsigned char>(bytes_[pos_ + 1]) << 8);
    if (unit != expected) return Fail(std::string("expected ") + what);
    pos_ += 2;
    return true;
  }

  bool Number(DWORD& number, const char* what) {
    if (bytes_.size() - pos_ < 4) return Fail(std::string("the file is cut short in the ") + what);
    number = Number32(bytes_, pos_);
    pos_ += 4;
    return true;
  }

  // A NUL-terminated UTF-16LE name, converted to UTF-8.
  bool Name(std::string& name, const char* what) {
    std::size_t start = pos_;
    std::size_t end = start;
    while (true) {
      if (bytes_.size() - end < 2) return Fail(std::string("the ") + what + " has no terminating NUL");
      if (bytes_[end] == '\0' && bytes_[end + 1] == '\0') break;
      end += 2;
    }
    if (!ConvertText(TextEncoding::Utf16le, TextEncoding::Utf8, bytes_.substr(start, end - start), name))
      return Fail(std::string("the ") + what + " is not valid UTF-16");
    pos_ = end + 2;
    return true;
  }

  std::string_view bytes_;
  PolicyFileError& error_;
  std::size_t pos_ = 0;
};

// A name in UTF-16LE followed by its NUL; false when it is not valid UTF-8 or
// holds a NUL of its own.
bool AppendName(std::string& out, std::string_view utf8) {
  if (utf8.find('\0') != std::string_view::npos) return false;
  std::string wide;
  if (!ConvertText(TextEncoding::Utf8, TextEncoding::Utf16le, utf8, wide)) return false;
  out += wide;
  AppendUnit(out, 0);
  return true;
}

void AppendNumber(std::string& out, std::uint32_t number) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((number >> shift) & 0xFF);
}

}  // namespace

std::string PolicyFileError::Message() const {
  if (entry == 0) return file + ": " + what;
  return file + ", entry " + std::to_string(entry) + " (byte " + std::to_string(offset) + "): " + what;
}

bool ReadPolicyFile(std::string_view bytes, const std::string& fileName, PolicyFile& out, PolicyFileError& error) {
  out.entries.clear();
  error = PolicyFileError{fileName, 0, 0, {}};
  std::vector<PolicyEntry> entries;
  if (!Reader(bytes, error).Read(entries)) return false;
  out.entries = std::move(entries);
  return true;
}

Result WritePolicyFile(const PolicyFile& file, std::string& bytes) {
  bytes.clear();
  std::size_t estimate = kHeaderSize;
  for (const PolicyEntry& entry : file.entries)
    estimate += 2 * (entry.key.size() + entry.name.size()) + entry.data.size() + 24;
  bytes.reserve(estimate);
  bytes += kSignature;
  AppendNumber(bytes, kVersion);
  for (std::size_t i = 0; i < file.entries.size(); ++i) {
    const PolicyEntry& entry = file.entries[i];
    auto fail = [&](const std::string& what) {
      bytes.clear();
      return Result::Failure("entry " + std::to_string(i + 1) + " (" + entry.key + "\\" + entry.name + "): " + what);
    };
    if (entry.key.empty()) return fail("the key name is empty");
    AppendUnit(bytes, u'[');
    if (!AppendName(bytes, entry.key)) return fail("the key name is not UTF-8 text without NUL characters");
    AppendUnit(bytes, u';');
    if (!AppendName(bytes, entry.name)) return fail("the value name is not UTF-8 text without NUL characters");
    AppendUnit(bytes, u';');
    AppendNumber(bytes, entry.type);
    AppendUnit(bytes, u';');
    AppendNumber(bytes, static_cast<std::uint32_t>(entry.data.size()));
    AppendUnit(bytes, u';');
    bytes += entry.data;
    AppendUnit(bytes, u']');
  }
  return {};
}

bool PolicyText(std::string_view utf8, std::string& data) {
  if (!ConvertText(TextEncoding::Utf8, TextEncoding::Utf16le, utf8, data)) return false;
  AppendUnit(data, 0);
  return true;
}

std::string PolicyDword(std::uint32_t number) {
  std::string data;
  AppendNumber(data, number);
  return data;
}

bool PolicyTextOf(const PolicyEntry& entry, std::string& utf8) {
  if (entry.type != REG_SZ && entry.type != REG_EXPAND_SZ) return false;
  std::string_view data = entry.data;
  if (data.size() >= 2 && data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0')
    data.remove_suffix(2);
  return ConvertText(TextEncoding::Utf16le, TextEncoding::Utf8, data, utf8);
}

}  // namespace pw
