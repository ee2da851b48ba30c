// A window kept in step with its store, which other programs write too (the
// command line, another window, an import, a blocklist): the window asks on a
// timer, and reads the store again whole only when the store's change stamp
// has moved since it last did. While nothing happens, a question costs one
// stamp and nothing is rebuilt.
#pragma once

#include <cstdint>

#include "registry/RegistryStore.h"

namespace pw {

class StoreFollower {
 public:
  // Asked this often, a change shows within a second.
  static constexpr int kIntervalMs = 250;

  explicit StoreFollower(RegistryStore& store) : store_(store) {}

  // The window has read the store whole with reads that began after `stamp`
  // was taken (SiteList::ReadStamp): only writes after that are news. So the
  // window's own write, followed by its rebuild, is not news again, while
  // another program's write during that rebuild still is.
  void Seen(std::uint64_t stamp) {
    stamp_ = stamp;
    read_ = true;
  }

  // True when the store may have changed since the window last read it whole.
  bool Behind() { return !read_ || store_.ChangeStamp() != stamp_; }

 private:
  RegistryStore& store_;
  std::uint64_t stamp_ = 0;
  bool read_ = false;
};

}  // namespace pw
