// Times the native main window on the registry as it is: made, started up and
// shown with every listing (the list filled and painted), then the site list's
// rebuild, a few times; prints the figures in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "storechoice/StoreChoice.h"
#include "win32window/MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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
  std::printf("listings %d\nwindow shown %.1f ms\nrebuild median %.1f ms (min %.1f, max %.1f, %zu runs)\n", rows, shown,
              rebuilds[rebuilds.size() / 2], rebuilds.front(), rebuilds.back(), rebuilds.size());
  return 0;
}
