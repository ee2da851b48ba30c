#include "registry/Utf8.h"

#include <cstdio>

namespace pw {

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& out) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  std::size_t len;
  char32_t c;
  if (b0 < 0x80) {
    out = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  // Overlong forms and surrogates are not valid UTF-8.
  if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  out = c;
  return len;
}

bool IsValidUtf8(std::string_view text) {
  // Plain ASCII, by far the most common text, needs no decoding.
  unsigned char high = 0;
  for (char c : text) high |= static_cast<unsigned char>(c);
  if (high < 0x80) return true;
  char32_t ignored;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = DecodeUtf8(text, i, ignored);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[12];
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t point = 0;
    std::size_t length = c < 0x80 ? 1 : DecodeUtf8(text, i, point);
    if (c < 0x80) point = c;
    if (length == 0) {
      if (c <= 0x9F) {
        std::snprintf(escape, sizeof escape, "\\x%02x", c);
        out += escape;
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    bool acts = point < 0x20 || (point >= 0x7F && point <= 0x9F) || point == 0x061C || point == 0x200E ||
                point == 0x200F || (point >= 0x2028 && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
    if (!acts) {
      out.append(text.substr(i, length));
    } else if (point == '\n' || point == '\r' || point == '\t') {
      out += point == '\n' ? "\\n" : point == '\r' ? "\\r" : "\\t";
    } else if (point < 0x80) {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(point));
      out += escape;
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(point));
      out += escape;
    }
    i += length;
  }
  return out;
}

}  // namespace pw
