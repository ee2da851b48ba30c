// Asks the browser's own zone logic (urlmon) what it makes of the registry:
//   zone-probe map URL              prints the zone number urlmon maps URL to
//   zone-probe policy ZONE ACTION   prints the zone's policy for the URL action
//                                   (ACTION in hexadecimal, 1200 for running
//                                   ActiveX controls)
//   zone-probe hold                 waits for ever with COM started: under Wine
//                                   this keeps the prefix's desktop up, which
//                                   otherwise goes after a minute unused and
//                                   takes ten seconds to come back
// Exit code 0 with the number on standard output, 1 with a message otherwise.
// One question per process: urlmon on Windows keeps the zone map it read for the
// life of a process.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <objbase.h>
#include <urlmon.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring Widen(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

int Fail(const char* what, HRESULT result) {
  std::fprintf(stderr, "zone-probe: %s failed (0x%08lX)\n", what,
               static_cast<unsigned long>(result));
  return 1;
}

int MapUrl(const char* url) {
  IInternetSecurityManager* manager = nullptr;
  HRESULT result = CoInternetCreateSecurityManager(nullptr, &manager, 0);
  if (FAILED(result)) return Fail("CoInternetCreateSecurityManager", result);
  DWORD zone = 0;
  result = manager->MapUrlToZone(Widen(url).c_str(), &zone, 0);
  manager->Release();
  if (FAILED(result)) return Fail("MapUrlToZone", result);
  std::printf("%lu\n", static_cast<unsigned long>(zone));
  return 0;
}

int ActionPolicy(const char* zoneText, const char* actionText) {
  IInternetZoneManager* manager = nullptr;
  HRESULT result = CoInternetCreateZoneManager(nullptr, &manager, 0);
  if (FAILED(result)) return Fail("CoInternetCreateZoneManager", result);
  DWORD policy = 0;
  DWORD zone = std::strtoul(zoneText, nullptr, 10);
  DWORD action = std::strtoul(actionText, nullptr, 16);
  result = manager->GetZoneActionPolicy(zone, action, reinterpret_cast<BYTE*>(&policy),
                                        sizeof policy, URLZONEREG_DEFAULT);
  manager->Release();
  if (FAILED(result)) return Fail("GetZoneActionPolicy", result);
  std::printf("%lu\n", static_cast<unsigned long>(policy));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  if (!((verb == "map" && argc == 3) || (verb == "policy" && argc == 4) ||
        (verb == "hold" && argc == 2))) {
    std::fprintf(stderr,
                 "usage: zone-probe map URL | zone-probe policy ZONE ACTION | zone-probe hold\n");
    return 2;
  }
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(result)) return Fail("CoInitializeEx", result);
  if (verb == "hold") Sleep(INFINITE);
  int code = verb == "map" ? MapUrl(argv[2]) : ActionPolicy(argv[2], argv[3]);
  CoUninitialize();
  return code;
}
