#include "regfile/TextCodec.h"

#include <cstring>

#ifdef _WIN32
// Included after our own header, which declares nothing that windows.h
// defines as a macro.
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#include <map>
#include <utility>
#endif

namespace pw {

#ifdef _WIN32

namespace {

UINT CodePage(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return CP_UTF8;
    case TextEncoding::Windows1252: return 1252;
    default: return GetACP();
  }
}

bool PairedSurrogates(const std::wstring& wide) {
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wchar_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool ToWide(TextEncoding from, std::string_view in, std::wstring& wide) {
  wide.clear();
  if (from == TextEncoding::Utf16le) {
    if (in.size() % 2) return false;
    wide.resize(in.size() / 2);
    for (std::size_t i = 0; i < wide.size(); ++i)
      wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(in[2 * i]) |
                                     static_cast<unsigned char>(in[2 * i + 1]) << 8);
    return PairedSurrogates(wide);
  }
  if (in.empty()) return true;
  UINT page = CodePage(from);
  int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), wide.data(),
                             length) == length;
}

bool FromWide(TextEncoding to, const std::wstring& wide, std::string& out) {
  out.clear();
  if (to == TextEncoding::Utf16le) {
    if (!PairedSurrogates(wide)) return false;
    out.resize(wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
      out[2 * i] = static_cast<char>(wide[i] & 0xFF);
      out[2 * i + 1] = static_cast<char>((wide[i] >> 8) & 0xFF);
    }
    return true;
  }
  if (wide.empty()) return true;
  UINT page = CodePage(to);
  // UTF-8 reports unpaired surrogates through the flag; other code pages
  // through the default character, which must never stand in silently.
  DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = page == CP_UTF8 ? nullptr : &usedDefault;
  int length = WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, used);
  if (length <= 0 || usedDefault) return false;
  out.resize(static_cast<std::size_t>(length));
  return WideCharToMultiByte(page, flags, wide.data(), static_cast<int>(wide.size()), out.data(), length, nullptr,
                             used) == length &&
         !usedDefault;
}

}  // namespace

bool ConvertText(TextEncoding from, TextEncoding to, std::string_view in, std::string& out) {
  std::wstring wide;
  return ToWide(from, in, wide) && FromWide(to, wide, out);
}

#else

namespace {

const char* IconvName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16le: return "UTF-16LE";
    case TextEncoding::Windows1252: return "WINDOWS-1252";
    default: return "UTF-8";
  }
}

// Opened converters, one per direction, kept for the thread's life: opening
// one costs far more than a short conversion.
class Converters {
 public:
  ~Converters() {
    for (auto& [key, cd] : open_) iconv_close(cd);
  }
  iconv_t Get(TextEncoding from, TextEncoding to) {
    auto key = std::make_pair(static_cast<int>(from), static_cast<int>(to));
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    iconv_t cd = iconv_open(IconvName(to), IconvName(from));
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    open_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<int, int>, iconv_t> open_;
};

}  // namespace

bool ConvertText(TextEncoding from, TextEncoding to, std::string_view in, std::string& out) {
  thread_local Converters converters;
  out.clear();
  iconv_t cd = converters.Get(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  if (in.empty()) return true;
  out.resize(in.size() * 2 + 16);
  char* input = const_cast<char*>(in.data());  // iconv's signature; it does not write
  std::size_t inputLeft = in.size();
  std::size_t written = 0;
  while (true) {
    char* output = out.data() + written;
    std::size_t outputLeft = out.size() - written;
    std::size_t result = iconv(cd, &input, &inputLeft, &output, &outputLeft);
    written = out.size() - outputLeft;
    if (result != static_cast<std::size_t>(-1)) {
      // iconv counts characters it converted "irreversibly" (replaced); a
      // replacement would change the text, so it is a failure here.
      if (result != 0) return false;
      break;
    }
    if (errno != E2BIG) return false;  // EILSEQ: invalid or unrepresentable; EINVAL: cut short
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return true;
}

#endif

}  // namespace pw
