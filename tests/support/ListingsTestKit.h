// Shared by the site list suites: a store of each kind with a zone map, and the
// list's rows as short text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "StoreKinds.h"
#include "ZoneMap.h"
#include "listings/SiteList.h"
#include "registry/Registry.h"
#include "registry/TreeStore.h"

namespace pw::test {

// "text|subdomain|domain|icon" per row, in list order.
inline std::vector<std::string> RowTexts(const SiteList& list) {
  std::vector<std::string> rows;
  for (const SiteRow& row : list.Rows())
    rows.push_back(row.text + "|" + row.subdomain + "|" + row.domain + "|" + std::to_string(row.icon));
  return rows;
}

class ListingsTest : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    store_ = GetParam().make();
    ASSERT_TRUE(store_);
    registry_ = std::make_unique<Registry>(*store_);
    map_ = std::make_unique<ZoneMap>(*store_);
    map_->AddBase();
  }
  void TearDown() override {
    // Every key the logic opened was closed again.
    if (auto* tree = dynamic_cast<TreeStore*>(store_.get())) {
      EXPECT_EQ(tree->OpenHandleCount(), 0u);
    }
  }

  std::vector<std::string> Rebuild() {
    list_.Rebuild(*store_);
    return RowTexts(list_);
  }

  RegistryStore& Store() { return *store_; }
  Registry& Reg() { return *registry_; }
  ZoneMap& Map() { return *map_; }

  std::unique_ptr<RegistryStore> store_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<ZoneMap> map_;
  SiteList list_;
};

}  // namespace pw::test
