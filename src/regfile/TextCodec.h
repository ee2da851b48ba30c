// Text conversion between the encodings a registry file can use and the store's
// 8-bit text, through the platform's own converters: iconv on Linux (where the
// store's text is UTF-8), MultiByteToWideChar and WideCharToMultiByte with the
// system code page on Windows. Nothing is ever replaced by a stand-in
// character: text that cannot be represented is a failure.
//
// This header includes none of the registry headers, so that the Windows
// implementation can include <windows.h> without its macros clashing.
#pragma once

#include <string>
#include <string_view>

namespace pw {

enum class TextEncoding {
  Utf8,
  Utf16le,
  Windows1252,
  Store,  // the store's 8-bit text: UTF-8 on Linux, the system code page on Windows
};

// Converts `in` from one encoding to another into `out`. Returns false (and
// leaves `out` unspecified) when the input is malformed (an invalid sequence, a
// UTF-16 text of odd length or with an unpaired surrogate) or holds a character
// the target cannot represent. NUL characters convert like any other.
bool ConvertText(TextEncoding from, TextEncoding to, std::string_view in, std::string& out);

}  // namespace pw
