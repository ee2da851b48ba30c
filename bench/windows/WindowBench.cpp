// Times the native main window on the registry as it is: made, started up and
// shown with every listing (the list filled and painted), then the site list's
// rebuild, a few times; prints the figures in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "registry/ForwardingStore.h"
#include "storechoice/StoreChoice.h"
#include "win32window/MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Counts and times the registry calls a read makes, by operation.
class CountingStore : public pw::ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;
  enum Op { kOpen, kEnumKey, kEnumValue, kQueryValue, kClose, kOps };
  long calls[kOps] = {};
  double ms[kOps] = {};

  pw::LONG RegOpenKeyExA(pw::HKEY key, pw::RegName sub, pw::DWORD options, pw::REGSAM sam, pw::HKEY* out) override {
    return Timed(kOpen, [&] { return ForwardingStore::RegOpenKeyExA(key, sub, options, sam, out); });
  }
  pw::LONG RegOpenKeyA(pw::HKEY key, pw::RegName sub, pw::HKEY* out) override {
    return Timed(kOpen, [&] { return ForwardingStore::RegOpenKeyA(key, sub, out); });
  }
  pw::LONG RegEnumKeyExA(pw::HKEY key, pw::DWORD index, char* name, pw::DWORD* length, pw::DWORD* reserved, char* cls,
                     pw::DWORD* classLength, pw::FILETIME* written) override {
    return Timed(kEnumKey, [&] {
      return ForwardingStore::RegEnumKeyExA(key, index, name, length, reserved, cls, classLength, written);
    });
  }
  pw::LONG RegEnumValueA(pw::HKEY key, pw::DWORD index, char* name, pw::DWORD* length, pw::DWORD* reserved, pw::DWORD* type,
                     pw::BYTE* data, pw::DWORD* size) override {
    return Timed(kEnumValue, [&] {
      return ForwardingStore::RegEnumValueA(key, index, name, length, reserved, type, data, size);
    });
  }
  pw::LONG RegQueryValueExA(pw::HKEY key, pw::RegName name, pw::DWORD* reserved, pw::DWORD* type, pw::BYTE* data,
                        pw::DWORD* size) override {
    return Timed(kQueryValue, [&] { return ForwardingStore::RegQueryValueExA(key, name, reserved, type, data, size); });
  }
  pw::LONG RegCloseKey(pw::HKEY key) override {
    return Timed(kClose, [&] { return ForwardingStore::RegCloseKey(key); });
  }

  void Print(int listings) const {
    static const char* const names[kOps] = {"open", "enumerate subkey", "enumerate value", "query value", "close"};
    long total = 0;
    for (int op = 0; op < kOps; ++op) {
      total += calls[op];
      std::printf("  %-17s %7ld calls %8.1f ms (%.2f us each)\n", names[op], calls[op], ms[op],
                  calls[op] ? 1000 * ms[op] / calls[op] : 0.0);
    }
    std::printf("  %.2f calls per listing\n", listings ? static_cast<double>(total) / listings : 0.0);
  }

 private:
  template <typename Call>
  pw::LONG Timed(Op op, Call call) {
    Clock::time_point begin = Clock::now();
    pw::LONG status = call();
    ms[op] += MsSince(begin);
    ++calls[op];
    return status;
  }
};

void Paint(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

}  // namespace

int main() {
  pw::OpenedStore opened = pw::OpenChosenStore(std::nullopt);
  if (!opened.store) {
    std::fprintf(stderr, "window_bench: %s\n", opened.error.c_str());
    return 1;
  }
  // The registry read alone, without a window: what the rebuild cannot be faster than.
  std::vector<double> reads;
  for (int i = 0; i < 3; ++i) {
    pw::SiteList sites;
    Clock::time_point begin = Clock::now();
    sites.Rebuild(*opened.store);
    reads.push_back(MsSince(begin));
  }
  std::sort(reads.begin(), reads.end());
  // One more read through a counting store: which calls it makes and their time.
  CountingStore counting(*opened.store);
  pw::SiteList counted;
  Clock::time_point countBegin = Clock::now();
  counted.Rebuild(counting);
  double countedMs = MsSince(countBegin);

  pw::win32::MessageBoxPrompter prompter;
  Clock::time_point start = Clock::now();
  pw::win32::MainWindow window(*opened.store, prompter);
  if (!window.Create()) return 1;
  window.Load({}, {}, "");
  window.Show(SW_SHOWNOACTIVATE);
  Paint(window.Handle());
  double shown = MsSince(start);
  int rows = window.Sites().Count();

  std::vector<double> rebuilds;
  for (int i = 0; i < 7; ++i) {
    Clock::time_point begin = Clock::now();
    window.RebuildSiteList();
    Paint(window.Handle());
    rebuilds.push_back(MsSince(begin));
  }
  std::sort(rebuilds.begin(), rebuilds.end());
  std::printf("site list read from the registry, no window: median %.1f ms (3 runs)\n", reads[1]);
  std::printf("registry calls of one read (%.1f ms with counting):\n", countedMs);
  counting.Print(counted.Count());
  std::printf("listings %d\nwindow shown %.1f ms\nrebuild median %.1f ms (min %.1f, max %.1f, %zu runs)\n", rows, shown,
              rebuilds[rebuilds.size() / 2], rebuilds.front(), rebuilds.back(), rebuilds.size());
  return 0;
}
