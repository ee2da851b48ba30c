#include "regfile/RegFileWriter.h"

#include <cstdio>

#include "regfile/TextCodec.h"
#include "registry/RegData.h"

namespace pw {
namespace {

// Hex data is wrapped so that no line is longer than this, as the platform's
// editor wraps it.
constexpr std::size_t kLineWidth = 80;

struct WriteFailure {
  std::string what;
};

// The file's text in its encoding, with the column of the current line.
class Output {
 public:
  explicit Output(TextEncoding encoding) : encoding_(encoding) {}

  void Ascii(std::string_view text) {
    for (char c : text) {
      bytes_ += c;
      if (encoding_ == TextEncoding::Utf16le) bytes_ += '\0';
    }
    column_ += text.size();
  }
  // UTF-8 text, converted to the file's encoding.
  bool Text(std::string_view utf8) {
    std::string converted;
    if (!ConvertText(TextEncoding::Utf8, encoding_, utf8, converted)) return false;
    bytes_ += converted;
    for (char c : utf8)
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++column_;
    return true;
  }
  void NewLine() {
    Ascii("\r\n");
    column_ = 0;
  }
  std::size_t Column() const { return column_; }
  // Drops what was written after `size` bytes, which must be a line's start.
  void Truncate(std::size_t size) {
    bytes_.resize(size);
    column_ = 0;
  }
  std::string& Bytes() { return bytes_; }

 private:
  TextEncoding encoding_;
  std::string bytes_;
  std::size_t column_ = 0;
};

const char* EncodingName(TextEncoding encoding) {
  return encoding == TextEncoding::Windows1252 ? "Windows-1252 (REGEDIT4 files are 8-bit text)" : "UTF-16";
}

std::string Escaped(std::string_view utf8) {
  std::string escaped;
  escaped.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string StoreToUtf8(std::string_view store, const std::string& what) {
  std::string utf8;
  if (!ConvertText(TextEncoding::Store, TextEncoding::Utf8, store, utf8))
    throw WriteFailure{what + " is not valid text in the store's encoding"};
  return utf8;
}

class ValueWriter {
 public:
  ValueWriter(Output& out, RegFileFormat format, bool wrap) : out_(out), format_(format), wrap_(wrap) {}

  void Write(const RegFileValue& value, const std::string& where) {
    std::string what = value.name.empty() ? "the unnamed value of " + where
                                          : "the value \"" + value.name + "\" of " + where;
    if (value.name.empty()) {
      out_.Ascii("@");
    } else {
      std::string name = StoreToUtf8(value.name, "the name of " + what);
      if (HasLineBreak(name)) throw WriteFailure{"the name of " + what + " holds a line break"};
      Quoted(name, "the name of " + what);
    }
    out_.Ascii("=");
    if (value.remove) {
      out_.Ascii("-");
      return;
    }
    const std::string& data = value.data;
    if (value.type == REG_SZ) {
      std::string_view text = data;
      if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
      std::string utf8 = StoreToUtf8(text, what);
      if (utf8.find('\0') == std::string::npos && !HasLineBreak(utf8)) {
        Quoted(utf8, what);
        return;
      }
    }
    if (std::optional<std::uint32_t> number = DwordValue(value.type, data)) {
      char text[16];
      std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(*number));
      out_.Ascii(text);
      return;
    }
    if (value.type == REG_BINARY) {
      Hex("hex:", data);
      return;
    }
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
      TextEncoding encoding = format_ == RegFileFormat::Version5 ? TextEncoding::Utf16le : TextEncoding::Windows1252;
      std::string bytes;
      if (!ConvertText(TextEncoding::Store, encoding, data, bytes))
        throw WriteFailure{"the text of " + what + " cannot be written as " + EncodingName(encoding)};
      Hex(prefix, bytes);
      return;
    }
    Hex(prefix, data);
  }

 private:
  void Quoted(std::string_view utf8, const std::string& what) {
    out_.Ascii("\"");
    if (!out_.Text(Escaped(utf8)))
      throw WriteFailure{what + " cannot be written as " + EncodingName(TextEncoding::Windows1252)};
    out_.Ascii("\"");
  }

  void Hex(const char* prefix, std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    out_.Ascii(prefix);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (i > 0) {
        out_.Ascii(",");
        // The next byte, its comma and a backslash after that must fit.
        if (wrap_ && out_.Column() + 4 > kLineWidth) {
          out_.Ascii("\\");
          out_.NewLine();
          out_.Ascii("  ");
        }
      }
      unsigned char b = static_cast<unsigned char>(bytes[i]);
      char pair[2] = {digits[b >> 4], digits[b & 15]};
      out_.Ascii(std::string_view(pair, 2));
    }
  }

  Output& out_;
  RegFileFormat format_;
  bool wrap_;
};

}  // namespace

bool WriteRegFile(const RegFile& file, std::string& bytes, std::string& error, std::vector<std::string>* skipped) {
  bool wide = file.format == RegFileFormat::Version5;
  Output out(wide ? TextEncoding::Utf16le : TextEncoding::Windows1252);
  if (wide) out.Bytes() = "\xFF\xFE";
  out.Ascii(wide ? kVersion5Header : kRegedit4Header);
  out.NewLine();
  ValueWriter values(out, file.format, true);
  const RegFileKey* skippedKey = nullptr;  // left out with every key below it
  for (const RegFileKey& key : file.keys) {
    if (skippedKey && key.hive == skippedKey->hive && IsSameOrBelow(key.path, skippedKey->path)) continue;
    skippedKey = nullptr;
    std::size_t keyStart = out.Bytes().size();
    try {
      std::string name = StoreToUtf8(FullKeyName(key.hive, key.path), "the name of the key " + FullKeyName(key.hive, key.path));
      if (HasLineBreak(name)) throw WriteFailure{"the name of the key " + name + " holds a line break"};
      out.NewLine();
      out.Ascii(key.remove ? "[-" : "[");
      if (!out.Text(name))
        throw WriteFailure{"the name of the key " + name + " cannot be written as " +
                           EncodingName(TextEncoding::Windows1252)};
      out.Ascii("]");
      out.NewLine();
      for (const RegFileValue& value : key.values) {
        std::size_t valueStart = out.Bytes().size();
        try {
          values.Write(value, name);
          out.NewLine();
        } catch (const WriteFailure& failure) {
          if (!skipped) throw;
          out.Truncate(valueStart);
          skipped->push_back(failure.what + " (the value is left out)");
        }
      }
    } catch (const WriteFailure& failure) {
      if (!skipped) {
        error = failure.what;  // a whole sentence: "the name of the key ... cannot be written as ..."
        return false;
      }
      out.Truncate(keyStart);
      skipped->push_back(failure.what + " (the key is left out with everything below it)");
      skippedKey = &key;
    }
  }
  out.NewLine();
  bytes = std::move(out.Bytes());
  return true;
}

Result FormatValueLine(const RegFileValue& value, RegFileFormat format, std::string& line) {
  Output out(TextEncoding::Utf8);
  ValueWriter writer(out, format, false);
  try {
    writer.Write(value, "the key");
  } catch (const WriteFailure& failure) {
    return Result::Failure("cannot show a value: " + failure.what);
  }
  line = std::move(out.Bytes());
  return {};
}

}  // namespace pw
