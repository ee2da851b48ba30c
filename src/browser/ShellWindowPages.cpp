#include "browser/ShellWindowPages.h"

#include <exdisp.h>
#include <oleauto.h>
#include <windows.h>

namespace pw {
namespace {

// The address in the system's 8-bit code page, as the rest of the program keeps text.
std::string Narrow(BSTR text) {
  int length = static_cast<int>(::SysStringLen(text));
  if (length == 0) return {};
  int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

// The window's address; empty when it has none or cannot tell.
std::string WindowAddress(IShellWindows* windows, long index) {
  VARIANT which;
  ::VariantInit(&which);
  which.vt = VT_I4;
  which.lVal = index;
  IDispatch* item = nullptr;
  if (FAILED(windows->Item(which, &item)) || !item) return {};
  std::string address;
  IWebBrowser2* browser = nullptr;
  if (SUCCEEDED(item->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) && browser) {
    BSTR url = nullptr;
    if (SUCCEEDED(browser->get_LocationURL(&url)) && url) {
      address = Narrow(url);
      ::SysFreeString(url);
    }
    browser->Release();
  }
  item->Release();
  return address;
}

}  // namespace

std::vector<std::string> ShellWindowAddresses() {
  std::vector<std::string> addresses;
  // The window program's toolkit may have started COM already (S_FALSE, or
  // another threading model); either way it is usable and balanced here.
  HRESULT started = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellWindows* windows = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                   reinterpret_cast<void**>(&windows))) &&
      windows) {
    long count = 0;
    if (SUCCEEDED(windows->get_Count(&count)))
      for (long i = 0; i < count; ++i)
        if (std::string address = WindowAddress(windows, i); !address.empty()) addresses.push_back(address);
    windows->Release();
  }
  if (SUCCEEDED(started)) ::CoUninitialize();
  return addresses;
}

}  // namespace pw
