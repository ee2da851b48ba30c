#include "registry/ValueList.h"

namespace pw {
namespace {

std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

}  // namespace

std::uint32_t ValueList::CountUpTo(std::size_t places) const {
  std::uint32_t count = 0;
  for (std::size_t i = places; i > 0; i -= LowBit(i)) count += counts_[i];
  return count;
}

const StoredValue* ValueList::Find(std::string_view fold) const {
  auto it = bySlot_.find(std::string(fold));
  return it == bySlot_.end() ? nullptr : &slots_[it->second].value;
}

const StoredValue& ValueList::At(std::size_t index) const {
  if (live_ == slots_.size()) return slots_[index].value;
  // The first place whose count of values up to it is index + 1.
  std::size_t place = 0;
  std::size_t left = index + 1;
  std::size_t step = 1;
  while (step * 2 <= slots_.size()) step *= 2;
  for (; step > 0; step /= 2) {
    if (place + step <= slots_.size() && counts_[place + step] < left) {
      place += step;
      left -= counts_[place];
    }
  }
  return slots_[place].value;
}

void ValueList::Put(StoredValue value) {
  auto it = bySlot_.find(value.fold);
  if (it != bySlot_.end()) {
    StoredValue& kept = slots_[it->second].value;
    value.name = std::move(kept.name);
    kept = std::move(value);
    return;
  }
  if (counts_.empty()) counts_.push_back(0);
  bySlot_.emplace(value.fold, slots_.size());
  slots_.push_back({std::move(value), true});
  std::size_t place = slots_.size();
  counts_.push_back(1 + CountUpTo(place - 1) - CountUpTo(place - LowBit(place)));
  ++live_;
}

bool ValueList::Erase(std::string_view fold) {
  auto it = bySlot_.find(std::string(fold));
  if (it == bySlot_.end()) return false;
  std::size_t slot = it->second;
  bySlot_.erase(it);
  slots_[slot].live = false;
  slots_[slot].value = StoredValue();
  for (std::size_t i = slot + 1; i < counts_.size(); i += LowBit(i)) --counts_[i];
  --live_;
  if (slots_.size() > 16 && live_ * 2 < slots_.size()) Repack();
  return true;
}

void ValueList::Clear() {
  slots_.clear();
  counts_.clear();
  bySlot_.clear();
  live_ = 0;
}

void ValueList::Repack() {
  std::vector<Slot> kept;
  kept.reserve(live_);
  for (Slot& slot : slots_)
    if (slot.live) kept.push_back(std::move(slot));
  slots_ = std::move(kept);
  bySlot_.clear();
  counts_.assign(slots_.size() + 1, 0);
  for (std::size_t i = 1; i <= slots_.size(); ++i) {
    bySlot_.emplace(slots_[i - 1].value.fold, i - 1);
    counts_[i] += 1;
    std::size_t up = i + LowBit(i);
    if (up <= slots_.size()) counts_[up] += counts_[i];
  }
}

}  // namespace pw
