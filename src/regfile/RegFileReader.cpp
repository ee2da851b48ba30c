#include "regfile/RegFileReader.h"

#include <utility>
#include <vector>

#include "common/Ascii.h"
#include "regfile/TextCodec.h"

namespace pw {
namespace {

// A problem found at an offset of the logical line being parsed.
struct LineProblem {
  std::size_t offset;
  std::string what;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where a name holds a control character (a carriage return left inside a
// line, a tab): no export could write such a name back. npos when none.
std::size_t ControlAt(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F) return i;
  }
  return std::string_view::npos;
}

// How a character appears in a message: itself when printable ASCII, its code
// otherwise.
std::string Shown(std::string_view text, std::size_t at) {
  if (at >= text.size()) return "the end of the line";
  unsigned char c = static_cast<unsigned char>(text[at]);
  if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  if (c < 0x80) {
    static const char* digits = "0123456789ABCDEF";
    return std::string("the character 0x") + digits[c >> 4] + digits[c & 15];
  }
  std::size_t end = at + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return "'" + std::string(text.substr(at, end - at)) + "'";
}

std::string TypeShown(DWORD type) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  do {
    hex.insert(hex.begin(), digits[type & 15]);
    type >>= 4;
  } while (type);
  return "hex(" + hex + ")";
}

// The file's text decoded to UTF-8 and cut into lines, or the problem.
struct DecodedText {
  std::vector<std::string> lines;  // without their line ends
  int badLine = 0;
  std::string problem;
};

std::size_t CountLineEnds(std::string_view bytes, bool utf16) {
  std::size_t count = 0;
  if (utf16) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      if (bytes[i] == '\n' && bytes[i + 1] == '\0') ++count;
  } else {
    for (char c : bytes)
      if (c == '\n') ++count;
  }
  return count;
}

// Splits the undecoded bytes at line ends (LF, in code units for UTF-16).
std::vector<std::string_view> SplitRaw(std::string_view bytes, bool utf16) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  std::size_t step = utf16 ? 2 : 1;
  for (std::size_t i = 0; i + step <= bytes.size(); i += step) {
    if (bytes[i] == '\n' && (!utf16 || bytes[i + 1] == '\0')) {
      parts.push_back(bytes.substr(start, i + step - start));
      start = i + step;
    }
  }
  parts.push_back(bytes.substr(start));
  return parts;
}

DecodedText Decode(std::string_view bytes, TextEncoding encoding) {
  DecodedText result;
  bool utf16 = encoding == TextEncoding::Utf16le;
  std::string text;
  if (utf16 && bytes.size() % 2) {
    result.badLine = static_cast<int>(CountLineEnds(bytes, true)) + 1;
    result.problem = "the file ends in the middle of a UTF-16 character: it is cut short";
    return result;
  }
  if (!ConvertText(encoding, TextEncoding::Utf8, bytes, text)) {
    // Find the line that does not convert, for the message.
    std::vector<std::string_view> raw = SplitRaw(bytes, utf16);
    std::string ignored;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (!ConvertText(encoding, TextEncoding::Utf8, raw[i], ignored)) {
        result.badLine = static_cast<int>(i) + 1;
        break;
      }
    }
    if (result.badLine == 0) result.badLine = static_cast<int>(raw.size());
    switch (encoding) {
      case TextEncoding::Utf16le: result.problem = "the line is not valid UTF-16 text (an unpaired surrogate)"; break;
      case TextEncoding::Windows1252: result.problem = "the line holds a byte that is not Windows-1252 text"; break;
      default: result.problem = "the line is not valid UTF-8 text"; break;
    }
    return result;
  }
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    std::string_view line = std::string_view(text).substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    result.lines.emplace_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return result;
}

class Reader {
 public:
  Reader(const std::string& fileName, RegFile& out, RegFileError& error)
      : fileName_(fileName), out_(out), error_(error) {}

  bool Read(std::string_view bytes);

 private:
  bool Fail(int line, std::string what) {
    error_.file = fileName_;
    error_.line = line;
    error_.what = std::move(what);
    out_.keys.clear();
    return false;
  }

  bool KeyLine(const std::string& line, std::size_t start, int number);
  bool ValueLine(std::size_t& index);
  // Parsers of one logical line; they throw LineProblem.
  RegFileValue ParseValue(const std::string& text);
  std::string ParseQuoted(const std::string& text, std::size_t& at, const char* what);
  std::string ParseBytes(const std::string& text, std::size_t& at);
  void ExpectEnd(const std::string& text, std::size_t at);
  std::string ToStore(const std::string& utf8, std::size_t at, const char* what);
  int LineAt(std::size_t offset) const;

  const std::string& fileName_;
  RegFile& out_;
  RegFileError& error_;
  std::vector<std::string> lines_;
  // The physical line where each piece of the current logical line starts.
  std::vector<std::pair<std::size_t, int>> pieces_;
};

bool Reader::Read(std::string_view bytes) {
  out_.keys.clear();
  if (bytes.empty()) return Fail(1, "the file is empty: a registry file starts with \"" + std::string(kVersion5Header) + "\"");
  TextEncoding encoding = TextEncoding::Utf8;
  auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  if (starts("\xFF\xFE")) {
    encoding = TextEncoding::Utf16le;
    bytes.remove_prefix(2);
  } else if (starts("\xFE\xFF")) {
    return Fail(1, "the file is UTF-16 big-endian text; registry files are UTF-16 little-endian");
  } else if (starts("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
  } else if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') {
    encoding = TextEncoding::Utf16le;  // UTF-16 without its byte-order mark
  } else if (starts(kRegedit4Header)) {
    encoding = TextEncoding::Windows1252;
  }
  DecodedText decoded = Decode(bytes, encoding);
  if (decoded.badLine) return Fail(decoded.badLine, decoded.problem);
  lines_ = std::move(decoded.lines);

  std::string_view header = lines_[0];
  while (!header.empty() && IsBlank(header.back())) header.remove_suffix(1);
  if (header == kVersion5Header) {
    out_.format = RegFileFormat::Version5;
  } else if (header == kRegedit4Header) {
    out_.format = RegFileFormat::Regedit4;
  } else {
    return Fail(1, "the first line is not a registry file header (\"" + std::string(kVersion5Header) +
                       "\" or \"" + kRegedit4Header + "\")");
  }

  for (std::size_t index = 1; index < lines_.size(); ++index) {
    const std::string& line = lines_[index];
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size() || line[start] == ';') continue;
    int number = static_cast<int>(index) + 1;
    if (line[start] == '[') {
      if (!KeyLine(line, start, number)) return false;
    } else if (line[start] == '"' || line[start] == '@') {
      if (!ValueLine(index)) return false;
    } else {
      return Fail(number, "expected a key in brackets, a value, a comment or a blank line, not " +
                              Shown(line, start));
    }
  }
  return true;
}

bool Reader::KeyLine(const std::string& line, std::size_t start, int number) {
  // The closing bracket is the last ']' on the line, as the platform's editor
  // reads it: a key name may hold "]" and ";", and only a comment or blanks
  // may follow.
  std::size_t close = line.rfind(']');
  if (close == std::string::npos || close < start) return Fail(number, "the key has no closing ']'");
  std::size_t after = close + 1;
  while (after < line.size() && IsBlank(line[after])) ++after;
  if (after < line.size() && line[after] != ';')
    return Fail(number, "unexpected " + Shown(line, after) + " after the key's closing ']'");
  std::string_view inside = std::string_view(line).substr(start + 1, close - start - 1);
  RegFileKey key;
  key.line = number;
  if (!inside.empty() && inside.front() == '-') {
    key.remove = true;
    inside.remove_prefix(1);
  }
  if (std::size_t at = ControlAt(inside); at != std::string_view::npos)
    return Fail(number, "the key name holds " + Shown(inside, at) + ", a control character");
  std::string why;
  std::optional<KeyName> name = ParseKeyName(inside, &why);
  if (!name) return Fail(number, why + ": [" + std::string(inside) + "]");
  if (key.remove && name->path.empty()) return Fail(number, "a hive cannot be deleted");
  key.hive = name->hive;
  if (!ConvertText(TextEncoding::Utf8, TextEncoding::Store, name->path, key.path))
    return Fail(number, "the key name cannot be written in the store's 8-bit text");
  // The limit holds for the store's text, which may be longer than the file's.
  std::optional<KeyName> check = ParseKeyName("HKCU\\" + key.path, &why);
  if (!check) return Fail(number, why);
  out_.keys.push_back(std::move(key));
  return true;
}

// Joins a value line with the lines it continues onto (a trailing backslash
// outside quotes and comments), then parses it.
bool Reader::ValueLine(std::size_t& index) {
  int first = static_cast<int>(index) + 1;
  std::string text;
  pieces_.clear();
  while (true) {
    std::string_view piece = lines_[index];
    if (!text.empty()) {
      while (!piece.empty() && IsBlank(piece.front())) piece.remove_prefix(1);
    }
    pieces_.emplace_back(text.size(), static_cast<int>(index) + 1);
    // Scan for quotes and a comment to see whether the line continues.
    bool quoted = false;
    std::size_t end = piece.size();
    for (std::size_t i = 0; i < piece.size(); ++i) {
      char c = piece[i];
      if (quoted) {
        if (c == '\\' && i + 1 < piece.size()) ++i;
        else if (c == '"') quoted = false;
      } else if (c == '"') {
        quoted = true;
      } else if (c == ';') {
        end = i;
        break;
      }
    }
    std::size_t last = end;
    while (last > 0 && IsBlank(piece[last - 1])) --last;
    bool continues = !quoted && end == piece.size() && last > 0 && piece[last - 1] == '\\';
    if (!continues) {
      text += piece;
      break;
    }
    text += piece.substr(0, last - 1);
    if (index + 1 >= lines_.size())
      return Fail(static_cast<int>(index) + 1, "the line ends with '\\' but no line follows");
    ++index;
  }
  if (out_.keys.empty()) return Fail(first, "a value before the first key");
  RegFileKey& key = out_.keys.back();
  if (key.remove) return Fail(first, "a value under a key that this file deletes");
  try {
    RegFileValue value = ParseValue(text);
    value.line = first;
    key.values.push_back(std::move(value));
  } catch (const LineProblem& problem) {
    return Fail(LineAt(problem.offset), problem.what);
  }
  return true;
}

int Reader::LineAt(std::size_t offset) const {
  int line = pieces_.empty() ? 0 : pieces_.front().second;
  for (const auto& [start, number] : pieces_)
    if (start <= offset) line = number;
  return line;
}

std::string Reader::ToStore(const std::string& utf8, std::size_t at, const char* what) {
  std::string store;
  if (!ConvertText(TextEncoding::Utf8, TextEncoding::Store, utf8, store))
    throw LineProblem{at, std::string("the ") + what + " cannot be written in the store's 8-bit text"};
  return store;
}

std::string Reader::ParseQuoted(const std::string& text, std::size_t& at, const char* what) {
  std::size_t open = at;
  std::string content;
  for (++at; at < text.size(); ++at) {
    char c = text[at];
    if (c == '"') {
      ++at;
      return content;
    }
    if (c == '\0') throw LineProblem{at, std::string("the ") + what + " holds a NUL character"};
    if (c == '\\') {
      if (at + 1 >= text.size()) break;
      char next = text[at + 1];
      if (next != '\\' && next != '"')
        throw LineProblem{at, "unknown escape '\\" + std::string(1, next) + "' in the " + what +
                                  " (only \\\\ and \\\" are escapes)"};
      content += next;
      ++at;
      continue;
    }
    content += c;
  }
  throw LineProblem{open, std::string("the ") + what + " has no closing quote"};
}

std::string Reader::ParseBytes(const std::string& text, std::size_t& at) {
  std::string bytes;
  auto skipBlanks = [&] {
    while (at < text.size() && IsBlank(text[at])) ++at;
  };
  skipBlanks();
  if (at >= text.size() || text[at] == ';') return bytes;
  while (true) {
    int high = at < text.size() ? AsciiHexValue(text[at]) : -1;
    if (high < 0) throw LineProblem{at, "bad hex digit: " + Shown(text, at) + " where a byte was expected"};
    int value = high;
    ++at;
    if (at < text.size() && AsciiHexValue(text[at]) >= 0) {
      value = value * 16 + AsciiHexValue(text[at]);
      ++at;
      if (at < text.size() && AsciiHexValue(text[at]) >= 0)
        throw LineProblem{at, "a byte has more than two hex digits"};
    }
    bytes += static_cast<char>(value);
    skipBlanks();
    if (at < text.size() && text[at] == ',') {
      ++at;
      skipBlanks();
      continue;
    }
    if (at < text.size() && text[at] != ';')
      throw LineProblem{at, "bad hex digit: " + Shown(text, at) + " in the bytes (expected ',' between them)"};
    return bytes;
  }
}

void Reader::ExpectEnd(const std::string& text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at < text.size() && text[at] != ';')
    throw LineProblem{at, "unexpected " + Shown(text, at) + " after the value"};
}

RegFileValue Reader::ParseValue(const std::string& text) {
  RegFileValue value;
  std::size_t at = 0;
  while (IsBlank(text[at])) ++at;
  if (text[at] == '@') {
    ++at;
  } else {
    std::size_t nameAt = at;
    std::string name = ParseQuoted(text, at, "value name");
    if (std::size_t bad = ControlAt(name); bad != std::string::npos)
      throw LineProblem{nameAt, "the value name holds " + Shown(name, bad) + ", a control character"};
    value.name = ToStore(name, nameAt, "value name");
    if (value.name.size() > kMaxValueNameLength)
      throw LineProblem{nameAt, "the value name is longer than 16383 bytes"};
  }
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || text[at] != '=') throw LineProblem{at, "expected '=' after the value name, not " + Shown(text, at)};
  ++at;
  while (at < text.size() && IsBlank(text[at])) ++at;
  auto keyword = [&](std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (AsciiLower(text[at + i]) != word[i]) return false;
    }
    at += word.size();
    return true;
  };
  std::size_t dataAt = at;
  if (at < text.size() && text[at] == '-') {
    value.remove = true;
    ++at;
  } else if (at < text.size() && text[at] == '"') {
    value.type = REG_SZ;
    value.data = ToStore(ParseQuoted(text, at, "string"), dataAt, "string");
    value.data += '\0';  // stored with its terminator, as the platform's editor stores it
  } else if (keyword("dword:")) {
    std::size_t digits = 0;
    DWORD number = 0;
    while (at < text.size() && AsciiHexValue(text[at]) >= 0) {
      number = number << 4 | static_cast<DWORD>(AsciiHexValue(text[at]));
      ++digits;
      ++at;
    }
    if (digits > 8) throw LineProblem{dataAt, "the dword has " + std::to_string(digits) + " hex digits; it takes at most 8"};
    if (digits == 0 || (at < text.size() && !IsBlank(text[at]) && text[at] != ';'))
      throw LineProblem{at, "bad hex digit in the dword: " + Shown(text, at)};
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
  } else if (keyword("hex:")) {
    value.type = REG_BINARY;
    value.data = ParseBytes(text, at);
  } else if (keyword("hex(")) {
    std::size_t digits = 0;
    DWORD type = 0;
    while (at < text.size() && AsciiHexValue(text[at]) >= 0) {
      type = type << 4 | static_cast<DWORD>(AsciiHexValue(text[at]));
      ++digits;
      ++at;
    }
    if (digits == 0 || digits > 8) throw LineProblem{dataAt, "the type in hex(N) must be 1 to 8 hex digits"};
    if (!keyword("):")) throw LineProblem{at, "expected \"):\" after the type in hex(N), not " + Shown(text, at)};
    value.type = type;
    std::string bytes = ParseBytes(text, at);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
      // Text types: the file holds the platform's wide text (version 5.00) or
      // 8-bit text (REGEDIT4); the store keeps its own 8-bit text.
      bool wide = out_.format == RegFileFormat::Version5;
      if (!ConvertText(wide ? TextEncoding::Utf16le : TextEncoding::Windows1252, TextEncoding::Store, bytes,
                       value.data))
        throw LineProblem{dataAt, "the text of this " + TypeShown(type) + " value " +
                                      (wide ? "is not valid UTF-16 (an odd number of bytes or an unpaired surrogate)"
                                            : "is not Windows-1252 text") +
                                      " or cannot be written in the store's 8-bit text"};
    } else {
      value.data = std::move(bytes);
    }
  } else {
    throw LineProblem{at, "expected the value's data (\"text\", dword:, hex:, hex(N): or -), not " + Shown(text, at)};
  }
  ExpectEnd(text, at);
  return value;
}

}  // namespace

std::string RegFileError::Message() const {
  if (line > 0) return file + ", line " + std::to_string(line) + ": " + what;
  return file + ": " + what;
}

bool ReadRegFile(std::string_view bytes, const std::string& fileName, RegFile& out, RegFileError& error) {
  Reader reader(fileName, out, error);
  return reader.Read(bytes);
}

}  // namespace pw
