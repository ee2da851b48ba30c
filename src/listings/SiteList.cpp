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

void SiteList::EnumDomainListings(RegistryStore& store, HKEY hive, const std::string& base,
                                  const EventPump& pump) {
  // Rows are only ever appended while the passes run, so a new row is the last
  // one; the one sort comes at the end.
  rows_.clear();
  enumOrder_.clear();
  selected_ = 0;
  // One state of the store for all four passes: a list that mixes the zone
  // map before and after another program's change would show rows that never
  // existed together.
  ReadSnapshot snapshot(store);

  // Pass 1: a row per domain key. The later passes open their keys below the
  // base key's handle, which names the same keys as the full paths and spares
  // resolving the base path once per row.
  WithKey(store, hive, base, [&](HKEY baseKey) {
    ForEachSubkey(store, baseKey, [&](const std::string& name) {
      AddRow({"", "", name, 0, kDomainRowTag});
      return true;
    });

    // Pass 2: the first subdomain key goes into its domain's row, each further
    // one gets a row of its own.
    int count = Count();
    for (int p = 0; p < count; ++p) {
      std::string domain = rows_[p].domain;
      WithKey(store, baseKey, domain + "\\", [&](HKEY key) {
        bool first = true;
        ForEachSubkey(store, key, [&](const std::string& name) {
          if (first) rows_[p].subdomain = name;
          else AddRow({"", name, domain, 0, 0});
          first = false;
          return true;
        });
      });
    }

    // Pass 3: the values of each row's key. The first value goes into the row
    // itself, each further one gets a row of its own.
    count = Count();
    for (int p = 0; p < count; ++p) {
      std::string domain = rows_[p].domain;
      std::string subdomain = rows_[p].subdomain;
      WithKey(store, baseKey, domain + "\\" + subdomain, [&](HKEY key) {
        bool first = true;
        ForEachValue(store, key, [&](const EnumeratedValue& value) {
          if (first) {
            first = false;
            if (value.name != "Default" && !value.data.empty()) {
              rows_[p].text = RowText(value.name);
              rows_[p].icon = IconOf(value.data);
              rows_[p].zone = value.name.empty() ? 0 : ZoneOf(value);  // a row without text lists nothing
            }
            return true;
          }
          if (pump) pump();
          if (!value.name.empty() && value.name != "Default") {
            SiteRow row{"", subdomain, domain, 0, 0};
            if (!value.data.empty()) {
              row.text = RowText(value.name);
              row.icon = IconOf(value.data);
              row.zone = ZoneOf(value);
            }
            AddRow(std::move(row));
          }
          return true;
        });
      });
    }

    // Pass 4: a domain whose row went to its first subdomain had its own values
    // left out by pass 3; list them here, each once.
    count = Count();
    for (int p = 0; p < count; ++p) {
      if (rows_[p].tag != kDomainRowTag || rows_[p].subdomain.empty()) continue;
      std::string domain = rows_[p].domain;
      WithKey(store, baseKey, domain, [&](HKEY key) {
        ForEachValue(store, key, [&](const EnumeratedValue& value) {
          if (!value.name.empty() && value.name != "Default" && !value.data.empty())
            AddRow({RowText(value.name), "", domain, IconOf(value.data), 0, ZoneOf(value)});
          return true;
        });
      });
    }
  });

  sortKey_ = 2;
  Sort();
}

}  // namespace pw
