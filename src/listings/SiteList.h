// The site list: the rows the main window's list view shows, rebuilt from the
// zone map. It is free of any window toolkit; the list view displays it as it
// stands (rows in this order, this selection) and forwards header clicks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"

namespace pw {

// One row: a protocol value of a domain or subdomain key, or a key without a
// listed value.
struct SiteRow {
  std::string text;       // "Protocol" column: the value name, "Default" for "*", or empty
  std::string subdomain;  // "Subdomain" column: empty for the domain key's own values
  std::string domain;     // "Trusted Website Domains" column
  int icon = 0;           // picture of ImageList11 (the zone number); 0 for none
  int tag = 0;            // 9 on the rows made for domain keys by the first pass
  // The zone the row's value sets as the browser reads it (a REG_DWORD of 1 to
  // 4), 0 for none; what ListedZone reads from the store, kept from the rebuild.
  int zone = 0;
};

enum class SortOrder { Ascending, Descending };

// Called between values of a long rebuild so that the window stays painted.
// The window holds user input back while it runs, so no action can start a
// second rebuild or a write in the middle of one.
using EventPump = std::function<void()>;

class SiteList {
 public:
  // Rows are addressed by 1-based position.
  int Count() const { return static_cast<int>(rows_.size()); }
  const SiteRow& Row(int position) const { return rows_.at(static_cast<std::size_t>(position - 1)); }
  const std::vector<SiteRow>& Rows() const { return rows_; }

  // The position of the selected row; one past the last row (Count() + 1)
  // when none is selected, the position a rebuild then restores.
  int SelectedPositionOrEnd() const;
  // Selects the row at `position` alone; 0 (or a position past the end)
  // clears the selection.
  void Select(int position);

  // Sort key as a column index from 0 ("Protocol") to 2 ("Trusted Website
  // Domains"), and the order.
  int SortKey() const { return sortKey_; }
  SortOrder Order() const { return order_; }
  // A click on header `column` (1 to 3): the current column flips the order;
  // the key becomes that column; the rows are sorted again, the selected row
  // staying selected. Sorting compares upper-cased text, as the store orders
  // names, and keeps equal rows in their enumeration order.
  void ColumnClick(int column);

  // Rebuilds the rows from the zone map of HKEY_CURRENT_USER and restores the
  // selection by position.
  void Rebuild(RegistryStore& store, const EventPump& pump = {});
  // Replaces the rows with those of the zone map at hive\base (base ends with a
  // backslash), read in one snapshot of the store, then sorts by the domain
  // column in the current order. Every value of a domain key is listed once,
  // also when the domain has subdomain keys.
  void EnumDomainListings(RegistryStore& store, HKEY hive, const std::string& base,
                          const EventPump& pump = {});

  // The store's change stamp taken just before the last rebuild read it: a
  // window that marks it as seen still learns of any write after that read.
  std::uint64_t ReadStamp() const { return readStamp_; }

 private:
  // Sorts by the current key and order, equal rows in enumeration order; the
  // selected row stays selected.
  void Sort();
  void AddRow(SiteRow row);

  std::vector<SiteRow> rows_;
  std::vector<int> enumOrder_;  // per row: its place in the enumeration
  int selected_ = 0;  // 1-based; 0 for none
  int sortKey_ = 2;
  SortOrder order_ = SortOrder::Ascending;
  std::uint64_t readStamp_ = 0;
};

}  // namespace pw
