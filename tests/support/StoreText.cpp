#include "StoreText.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace pw::test {

#if defined(_WIN32)

namespace {

bool ToCodePage(std::string_view utf8, std::string& out) {
  out.clear();
  if (utf8.empty()) return true;
  int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                       static_cast<int>(utf8.size()), nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                      wideLength);
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr,
                                   0, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  out.resize(static_cast<std::size_t>(length));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), length,
                      nullptr, nullptr);
  return true;
}

}  // namespace

std::string StoreText(std::string_view utf8) {
  std::string text;
  return ToCodePage(utf8, text) ? text : std::string();
}

bool StoreCanHold(std::string_view utf8) {
  std::string text;
  return ToCodePage(utf8, text);
}

#else

std::string StoreText(std::string_view utf8) {
  return std::string(utf8);
}
bool StoreCanHold(std::string_view) {
  return true;
}

#endif

}  // namespace pw::test
