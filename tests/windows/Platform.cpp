#include "Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>
#include <urlmon.h>

#include <cstdio>

namespace pw::test {

std::vector<std::wstring> SubkeyNamesW(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

bool CreateKeyW(const std::wstring& path) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

bool DeleteTree(const std::string& path) {
  LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    status = RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  return false;
}

ProgramResult RunProgram(const std::string& commandLine) {
  ProgramResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;  // CreateProcessA may write into it
  BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    // Read until the program has ended and the pipe is empty; waiting for the
    // pipe to close is not enough, as a helper process the system starts for
    // the program may hold its end open.
    char buffer[4096];
    for (bool ended = false;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
      if (available > 0) {
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr)) break;
        result.output.append(buffer, got);
        continue;
      }
      if (ended) break;
      ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  return result;
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

ZoneEngine::ZoneEngine() { comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }

ZoneEngine::~ZoneEngine() {
  if (manager_) static_cast<IInternetSecurityManager*>(manager_)->Release();
  if (comStarted_) CoUninitialize();
}

bool ZoneEngine::Renew() {
  if (manager_) static_cast<IInternetSecurityManager*>(manager_)->Release();
  IInternetSecurityManager* manager = nullptr;
  manager_ = SUCCEEDED(CoInternetCreateSecurityManager(nullptr, &manager, 0)) ? manager : nullptr;
  return manager_ != nullptr;
}

long long ZoneEngine::Map(const std::string& url, std::string& failure) {
  if (!manager_) {
    failure = "no security manager";
    return -1;
  }
  int length = MultiByteToWideChar(CP_UTF8, 0, url.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, url.c_str(), -1, wide.data(), length);
  DWORD zone = 0;
  HRESULT result = static_cast<IInternetSecurityManager*>(manager_)->MapUrlToZone(wide.c_str(), &zone, 0);
  if (FAILED(result) || zone == static_cast<DWORD>(URLZONE_INVALID)) {
    char text[64];
    std::snprintf(text, sizeof text, "MapUrlToZone: 0x%08lX, zone %lu", static_cast<unsigned long>(result),
                  static_cast<unsigned long>(zone));
    failure = text;
    return -1;
  }
  return zone;
}

}  // namespace pw::test
