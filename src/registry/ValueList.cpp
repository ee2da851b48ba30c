#include "registry/ValueList.h"

namespace pw {
namespace {

std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

}  // namespace

std::uint32_t ValueList::CountUpTo(std::size_t places) const {
  std::uint32_t count = 0;
  for (std::size_t i = places; i > 0; i -= LowBit(i)) count += d_->counts[i];
  return count;
}

const StoredValue* ValueList::Find(std::string_view fold) const {
  if (!d_) return nullptr;
  auto it = d_->bySlot.find(std::string(fold));
  return it == d_->bySlot.end() ? nullptr : &d_->places[it->second].value;
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
  if (!d_) {
    d_ = std::make_unique<Data>();
    d_->counts.push_back(0);
  }
  Data& d = *d_;
  auto it = d.bySlot.find(value.fold);
  if (it != d.bySlot.end()) {
    StoredValue& kept = d.places[it->second].value;
    value.name = std::move(kept.name);
    kept = std::move(value);
    return;
  }
  d.bySlot.emplace(value.fold, d.places.size());
  d.places.push_back({std::move(value), true});
  std::size_t place = d.places.size();
  d.counts.push_back(1 + CountUpTo(place - 1) - CountUpTo(place - LowBit(place)));
  ++d.live;
}

bool ValueList::Erase(std::string_view fold) {
  if (!d_) return false;
  Data& d = *d_;
  auto it = d.bySlot.find(std::string(fold));
  if (it == d.bySlot.end()) return false;
  std::size_t slot = it->second;
  d.bySlot.erase(it);
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
  d.bySlot.clear();
  d.counts.assign(d.places.size() + 1, 0);
  for (std::size_t i = 1; i <= d.places.size(); ++i) {
    d.bySlot.emplace(d.places[i - 1].value.fold, i - 1);
    d.counts[i] += 1;
    std::size_t up = i + LowBit(i);
    if (up <= d.places.size()) d.counts[up] += d.counts[i];
  }
}

}  // namespace pw
