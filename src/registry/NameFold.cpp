#include "registry/NameFold.h"

#include "registry/Utf8.h"

#include <cwctype>

#if defined(_WIN32)
#include <windows.h>
#else
#include <clocale>
#include <locale.h>
#endif

namespace pw {
namespace {

#if !defined(_WIN32)
locale_t UnicodeLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}
#endif

char32_t UpperCodePoint(char32_t c) {
#if defined(_WIN32)
  if (c > 0xFFFF) return c;
  wchar_t w = static_cast<wchar_t>(c);
  CharUpperBuffW(&w, 1);
  return static_cast<char32_t>(w);
#else
  locale_t l = UnicodeLocale();
  if (!l) return c;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), l));
#endif
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string out;
  FoldNameInto(name, out);
  return out;
}

void FoldNameInto(std::string_view name, std::string& out) {
  out.clear();
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    unsigned char b = static_cast<unsigned char>(name[i]);
    if (b < 0x80) {
      out += (b >= 'a' && b <= 'z') ? static_cast<char>(b - 32) : static_cast<char>(b);
      ++i;
      continue;
    }
    char32_t c;
    std::size_t len = DecodeUtf8(name, i, c);
    if (len == 0) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    char32_t upper = UpperCodePoint(c);
    // Keep the original bytes when the upper case would not be a single valid
    // character of its own (no such mapping is applied by the platform either).
    if (upper == c || upper > 0x10FFFF || (upper >= 0xD800 && upper <= 0xDFFF))
      out.append(name.substr(i, len));
    else
      AppendUtf8(out, upper);
    i += len;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() == b.size()) {
    bool ascii = true;
    for (std::size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 0x80 || y >= 0x80) {
        ascii = false;
        break;
      }
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
      if (x != y) return false;
    }
    if (ascii) return true;
  }
  return FoldName(a) == FoldName(b);
}

}  // namespace pw
