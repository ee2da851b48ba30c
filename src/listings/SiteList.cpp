#include "listings/SiteList.h"

#include <algorithm>
#include <numeric>

#include "registry/Enumeration.h"
#include "registry/KeyHandle.h"
#include "registry/KnownKeys.h"
#include "registry/NameFold.h"
#include "registry/RegData.h"

namespace pw {
namespace {

constexpr int kDomainRowTag = 9;
constexpr int kPictureCount = 11;  // ImageList11

std::string RowText(const std::string& valueName) { return valueName == "*" ? "Default" : valueName; }

// The picture for a value: its first data byte, when the image list has one.
int IconOf(const std::string& data) {
  int first = static_cast<unsigned char>(data.front());
  return first >= 1 && first <= kPictureCount ? first : 0;
}

// The zone a listed value sets: its REG_DWORD when that is 1 to 4, else 0.
int ZoneOf(const EnumeratedValue& value) {
  std::optional<std::uint32_t> number = DwordValue(value.type, value.data);
  return number && *number >= 1 && *number <= 4 ? static_cast<int>(*number) : 0;
}

const std::string& Column(const SiteRow& row, int key) {
  return key == 0 ? row.text : key == 1 ? row.subdomain : row.domain;
}

// Opens a key as the enumeration does (RegOpenKeyA), runs `body` on it and
// closes it; nothing when it does not open.
template <typename Body>
void WithKey(RegistryStore& store, HKEY hive, const std::string& path, Body body) {
  KeyHandle key;
  if (key.OpenA(store, hive, path) != ERROR_SUCCESS) return;
  body(key.get());
}

}  // namespace

int SiteList::SelectedPositionOrEnd() const { return selected_ ? selected_ : Count() + 1; }

void SiteList::Select(int position) { selected_ = position >= 1 && position <= Count() ? position : 0; }

void SiteList::ColumnClick(int column) {
  if (column < 1 || column > 3) return;
  if (column == sortKey_ + 1)
    order_ = order_ == SortOrder::Ascending ? SortOrder::Descending : SortOrder::Ascending;
  sortKey_ = column - 1;
  Sort();
}

void SiteList::AddRow(SiteRow row) {
  enumOrder_.push_back(static_cast<int>(rows_.size()));
  rows_.push_back(std::move(row));
}

void SiteList::Sort() {
  // Compare upper-cased text, as the store orders names; folding each row once
  // keeps the sort cheap on long lists.
  std::vector<std::string> folded(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) folded[i] = FoldName(Column(rows_[i], sortKey_));
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  bool descending = order_ == SortOrder::Descending;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int c = folded[a].compare(folded[b]);
    if (c != 0) return descending ? c > 0 : c < 0;
    return enumOrder_[a] < enumOrder_[b];
  });
  std::vector<SiteRow> rows;
  std::vector<int> enumOrder;
  rows.reserve(rows_.size());
  enumOrder.reserve(rows_.size());
  int selected = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (selected_ && order[i] == static_cast<std::size_t>(selected_ - 1)) selected = static_cast<int>(i) + 1;
    rows.push_back(std::move(rows_[order[i]]));
    enumOrder.push_back(enumOrder_[order[i]]);
  }
  rows_ = std::move(rows);
  enumOrder_ = std::move(enumOrder);
  selected_ = selected;
}

void SiteList::Rebuild(RegistryStore& store, const EventPump& pump) {
  int remembered = SelectedPositionOrEnd();
  EnumDomainListings(store, HKEY_CURRENT_USER, kDomainsPathUpper, pump);
  if (remembered <= Count()) Select(remembered);
}

namespace {

// What a rebuild needs of a value for its row.
struct ReadValue {
  std::string name;
  bool hasData = false;
  int icon = 0;
  int zone = 0;
};

// A key's values: a range of ZoneMapRead::values.
struct ValueRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A domain key: its own values and its subkeys, a range of
// ZoneMapRead::subkeys (with their values in subkeyValues).
struct ReadDomain {
  std::string name;
  ValueRange values;
  std::size_t firstSubkey = 0;
  std::size_t subkeyCount = 0;
};

// The zone map as read once, held in a few flat tables.
struct ZoneMapRead {
  std::vector<ReadDomain> domains;
  std::vector<std::string> subkeys;
  std::vector<ValueRange> subkeyValues;
  std::vector<ReadValue> values;

  ValueRange ReadValues(RegistryStore& store, HKEY key) {
    ValueRange range{values.size(), values.size()};
    ForEachValue(store, key, [&](const EnumeratedValue& value) {
      ReadValue& read = values.emplace_back();
      read.name = value.name;
      read.hasData = !value.data.empty();
      if (read.hasData) {
        read.icon = IconOf(value.data);
        read.zone = ZoneOf(value);
      }
      return true;
    });
    range.end = values.size();
    return range;
  }
};

// Every key below the base is opened once and each of its lists enumerated
// once: on the platform's registry every call is a round trip to another
// process, so the passes work on this one read rather than on the store.
void ReadDomains(RegistryStore& store, HKEY base, const EventPump& pump, ZoneMapRead& read) {
  ForEachSubkey(store, base, [&](const std::string& name) {
    read.domains.emplace_back().name = name;
    return true;
  });
  for (ReadDomain& domain : read.domains) {
    if (pump) pump();
    WithKey(store, base, domain.name, [&](HKEY key) {
      domain.firstSubkey = read.subkeys.size();
      ForEachSubkey(store, key, [&](const std::string& name) {
        read.subkeys.push_back(name);
        return true;
      });
      domain.subkeyCount = read.subkeys.size() - domain.firstSubkey;
      read.subkeyValues.resize(read.subkeys.size());
      // Opened below the base, by the path a row names.
      for (std::size_t i = domain.firstSubkey; i < read.subkeys.size(); ++i)
        WithKey(store, base, domain.name + "\\" + read.subkeys[i],
                [&](HKEY sub) { read.subkeyValues[i] = read.ReadValues(store, sub); });
      domain.values = read.ReadValues(store, key);
    });
  }
}

}  // namespace

void SiteList::EnumDomainListings(RegistryStore& store, HKEY hive, const std::string& base,
                                  const EventPump& pump) {
  // Rows are only ever appended while the passes run, so a new row is the last
  // one; the one sort comes at the end.
  rows_.clear();
  enumOrder_.clear();
  selected_ = 0;
  // Taken before the reads: a write after it moves the stamp again.
  readStamp_ = store.ChangeStamp();
  ZoneMapRead read;
  {
    // One state of the store for the whole read: a list that mixes the zone
    // map before and after another program's change would show rows that
    // never existed together.
    ReadSnapshot snapshot(store);
    WithKey(store, hive, base, [&](HKEY baseKey) { ReadDomains(store, baseKey, pump, read); });
  }
  const std::vector<ReadDomain>& domains = read.domains;

  // Which key each row lists: its domain, and its subkey's place in
  // read.subkeys (kDomainKey for the domain key itself).
  constexpr std::size_t kDomainKey = static_cast<std::size_t>(-1);
  struct Source {
    std::size_t domain;
    std::size_t subkey;
  };
  std::vector<Source> sources;

  // Pass 1: a row per domain key.
  sources.reserve(domains.size());
  for (std::size_t d = 0; d < domains.size(); ++d) {
    AddRow({"", "", domains[d].name, 0, kDomainRowTag});
    sources.push_back({d, kDomainKey});
  }

  // Pass 2: the first subdomain key goes into its domain's row, each further
  // one gets a row of its own.
  int count = Count();
  for (int p = 0; p < count; ++p) {
    const ReadDomain& domain = domains[sources[p].domain];
    for (std::size_t i = domain.firstSubkey; i < domain.firstSubkey + domain.subkeyCount; ++i) {
      if (i == domain.firstSubkey) {
        rows_[p].subdomain = read.subkeys[i];
        sources[p].subkey = i;
      } else {
        AddRow({"", read.subkeys[i], domain.name, 0, 0});
        sources.push_back({sources[p].domain, i});
      }
    }
  }

  // Pass 3: the values of each row's key. The first value goes into the row
  // itself, each further one gets a row of its own.
  count = Count();
  for (int p = 0; p < count; ++p) {
    const ReadDomain& domain = domains[sources[p].domain];
    ValueRange values = sources[p].subkey == kDomainKey ? domain.values : read.subkeyValues[sources[p].subkey];
    for (std::size_t i = values.begin; i < values.end; ++i) {
      const ReadValue& value = read.values[i];
      if (i == values.begin) {
        if (value.name != "Default" && value.hasData) {
          rows_[p].text = RowText(value.name);
          rows_[p].icon = value.icon;
          rows_[p].zone = value.name.empty() ? 0 : value.zone;  // a row without text lists nothing
        }
        continue;
      }
      if (value.name.empty() || value.name == "Default") continue;
      SiteRow row{"", rows_[p].subdomain, domain.name, 0, 0};
      if (value.hasData) {
        row.text = RowText(value.name);
        row.icon = value.icon;
        row.zone = value.zone;
      }
      AddRow(std::move(row));
    }
  }

  // Pass 4: a domain whose row went to its first subdomain had its own values
  // left out by pass 3; list them here, each once.
  count = Count();
  for (int p = 0; p < count; ++p) {
    if (rows_[p].tag != kDomainRowTag || rows_[p].subdomain.empty()) continue;
    const ReadDomain& domain = domains[sources[p].domain];
    for (std::size_t i = domain.values.begin; i < domain.values.end; ++i)
      if (const ReadValue& value = read.values[i]; !value.name.empty() && value.name != "Default" && value.hasData)
        AddRow({RowText(value.name), "", domain.name, value.icon, 0, value.zone});
  }

  sortKey_ = 2;
  Sort();
}

}  // namespace pw
