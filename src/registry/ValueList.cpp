#include "registry/ValueList.h"

#include <functional>

namespace pw {
namespace {

std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

constexpr std::size_t kUnindexedPlaces = 8;
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
constexpr std::uint32_t kRemoved = 0xFFFFFFFEu;

std::size_t HashOf(std::string_view fold) { return std::hash<std::string_view>{}(fold); }

}  // namespace

std::uint32_t ValueList::CountUpTo(std::size_t places) const {
  std::uint32_t count = 0;
  for (std::size_t i = places; i > 0; i -= LowBit(i)) count += d_->counts[i];
  return count;
}

std::ptrdiff_t ValueList::PlaceOf(std::string_view fold) const {
  const Data& d = *d_;
  if (!d.table.empty()) {
    std::size_t mask = d.table.size() - 1;
    for (std::size_t i = HashOf(fold) & mask; d.table[i] != kEmpty; i = (i + 1) & mask) {
      std::uint32_t place = d.table[i];
      if (place != kRemoved && d.places[place].value.fold == fold) return place;
    }
    return -1;
  }
  for (std::size_t i = 0; i < d.places.size(); ++i)
    if (d.places[i].live && d.places[i].value.fold == fold) return static_cast<std::ptrdiff_t>(i);
  return -1;
}

void ValueList::Reindex() {
  Data& d = *d_;
  std::size_t size = 16;
  while (size < (d.live + 1) * 2) size *= 2;
  d.table.assign(size, kEmpty);
  d.tableUsed = 0;
  for (std::size_t i = 0; i < d.places.size(); ++i)
    if (d.places[i].live) AddToTable(static_cast<std::uint32_t>(i));
}

void ValueList::AddToTable(std::uint32_t place) {
  Data& d = *d_;
  if ((d.tableUsed + 1) * 2 > d.table.size()) {
    Reindex();  // the place is live already, so it is in the new table
    return;
  }
  std::size_t mask = d.table.size() - 1;
  std::size_t i = HashOf(d.places[place].value.fold) & mask;
  while (d.table[i] != kEmpty && d.table[i] != kRemoved) i = (i + 1) & mask;
  if (d.table[i] == kEmpty) ++d.tableUsed;
  d.table[i] = place;
}

void ValueList::IndexIfLong() {
  Data& d = *d_;
  if (d.table.empty() && d.places.size() > kUnindexedPlaces) Reindex();
}

const StoredValue* ValueList::Find(std::string_view fold) const {
  if (!d_) return nullptr;
  std::ptrdiff_t place = PlaceOf(fold);
  return place < 0 ? nullptr : &d_->places[static_cast<std::size_t>(place)].value;
}

const StoredValue& ValueList::At(std::size_t index) const {
  const Data& d = *d_;
  if (d.live == d.places.size()) return d.places[index].value;
  // The first place whose count of values up to it is index + 1.
  std::size_t place = 0;
  std::size_t left = index + 1;
  std::size_t step = 1;
  while (step * 2 <= d.places.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (place + step <= d.places.size() && d.counts[place + step] < left) {
      place += step;
      left -= d.counts[place];
    }
  }
  return d.places[place].value;
}

void ValueList::Put(StoredValue value) {
  if (!d_) d_ = std::make_unique<Data>();
  Data& d = *d_;
  std::ptrdiff_t existing = PlaceOf(value.fold);
  if (existing >= 0) {
    StoredValue& kept = d.places[static_cast<std::size_t>(existing)].value;
    value.name = std::move(kept.name);
    kept = std::move(value);
    return;
  }
  d.places.push_back({std::move(value), true});
  if (d.table.empty()) IndexIfLong();
  else AddToTable(static_cast<std::uint32_t>(d.places.size() - 1));
  std::size_t place = d.places.size();
  if (!d.counts.empty()) d.counts.push_back(1 + CountUpTo(place - 1) - CountUpTo(place - LowBit(place)));
  ++d.live;
}

bool ValueList::Erase(std::string_view fold) {
  if (!d_) return false;
  Data& d = *d_;
  std::ptrdiff_t found = PlaceOf(fold);
  if (found < 0) return false;
  std::size_t slot = static_cast<std::size_t>(found);
  if (!d.table.empty()) {
    std::size_t mask = d.table.size() - 1;
    std::size_t i = HashOf(fold) & mask;
    while (d.table[i] != slot) i = (i + 1) & mask;
    d.table[i] = kRemoved;
  }
  if (d.counts.empty()) CountPlaces();
  d.places[slot].live = false;
  d.places[slot].value = StoredValue();
  for (std::size_t i = slot + 1; i < d.counts.size(); i += LowBit(i)) --d.counts[i];
  --d.live;
  if (d.places.size() > 16 && d.live * 2 < d.places.size()) Repack();
  return true;
}

void ValueList::Repack() {
  Data& d = *d_;
  std::vector<Slot> kept;
  kept.reserve(d.live);
  for (Slot& slot : d.places)
    if (slot.live) kept.push_back(std::move(slot));
  d.places = std::move(kept);
  d.table.clear();
  d.tableUsed = 0;
  IndexIfLong();
  d.counts = {};  // every place is in use again
}

void ValueList::CountPlaces() {
  Data& d = *d_;
  d.counts.assign(d.places.size() + 1, 0);
  for (std::size_t i = 1; i <= d.places.size(); ++i) {
    d.counts[i] += 1;
    std::size_t up = i + LowBit(i);
    if (up <= d.places.size()) d.counts[up] += d.counts[i];
  }
}

}  // namespace pw
