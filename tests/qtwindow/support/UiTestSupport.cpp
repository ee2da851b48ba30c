#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "policy/NewStoreLayout.h"

namespace pw::test {

int GtestFailureCount() {
  const testing::TestResult& result = testing::UnitTest::GetInstance()->ad_hoc_test_result();
  int failures = 0;
  for (int i = 0; i < result.total_part_count(); ++i)
    if (result.GetTestPartResult(i).failed()) ++failures;
  return failures;
}

StoreRig::StoreRig() : registry_(*[this]() -> SqliteStore* {
  auto opened = SqliteStore::Open(dir_.File("registry.db"), LayOutNewStore);
  if (!opened.store) throw std::runtime_error(opened.error);
  store_ = std::move(opened.store);
  return store_.get();
}()) {}

bool HasTestDpi(const QWidget& widget) { return widget.logicalDpiX() == 96 && widget.logicalDpiY() == 96; }

}  // namespace pw::test
