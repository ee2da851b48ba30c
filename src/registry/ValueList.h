// A key's values in creation order, found by folded name. Appending, replacing
// and deleting cost O(log n) and finding the value at an index O(log n): a
// deleted value leaves its place empty (a Fenwick tree counts the places in
// use), and the places are packed again once the empty ones outnumber the
// values, so no delete renumbers the values after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegistryTypes.h"

namespace pw {

struct StoredValue {
  std::string name;
  std::string fold;  // the name as the store compares it
  DWORD type = REG_NONE;
  std::string data;
};

class ValueList {
 public:
  ValueList() = default;
  ValueList(const ValueList& other) : d_(other.d_ ? std::make_unique<Data>(*other.d_) : nullptr) {}
  ValueList& operator=(const ValueList& other) {
    d_ = other.d_ ? std::make_unique<Data>(*other.d_) : nullptr;
    return *this;
  }
  ValueList(ValueList&&) = default;
  ValueList& operator=(ValueList&&) = default;

  std::size_t Size() const { return d_ ? d_->live : 0; }
  // The value with this folded name, or null.
  const StoredValue* Find(std::string_view fold) const;
  // The value at `index` in creation order; REQUIRES index < Size().
  const StoredValue& At(std::size_t index) const;
  // Replaces the value of the same folded name in its place (keeping its
  // first spelling), or appends it.
  void Put(StoredValue value);
  // False when there is no such value.
  bool Erase(std::string_view fold);
  void Clear() { d_.reset(); }

 private:
  struct Slot {
    StoredValue value;
    bool live = true;
  };
  struct Data {
    std::vector<Slot> places;
    // Fenwick tree over places, 1-based; made at the first delete, as
    // until then every place is in use.
    std::vector<std::uint32_t> counts;
    // Places by folded name, open addressing over a table at most half
    // full (no allocation per value); made only for lists of more than a few
    // places: most keys hold a few values, found faster by looking at each.
    std::vector<std::uint32_t> table;
    std::size_t tableUsed = 0;  // entries that are not empty, removed ones too
    std::size_t live = 0;
  };
  std::uint32_t CountUpTo(std::size_t places) const;  // live values among the first `places`
  void Repack();
  void CountPlaces();  // makes `counts` for places that are all in use
  // The place of the live value with this folded name, or -1.
  std::ptrdiff_t PlaceOf(std::string_view fold) const;
  // Starts finding by name through the table, once the list is past a few places.
  void IndexIfLong();
  // Makes the table anew for the live places.
  void Reindex();
  void AddToTable(std::uint32_t place);

  std::unique_ptr<Data> d_;  // made at the first value: most keys hold none, or are never read
};

}  // namespace pw
