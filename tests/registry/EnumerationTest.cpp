// The one enumeration pattern: items read whole, and a failure that persists
// ends the key instead of yielding items forever.
#include <gtest/gtest.h>

#include "registry/Enumeration.h"
#include "registry/ForwardingStore.h"
#include "registry/KeyTree.h"
#include "registry/MemoryStore.h"
#include "registry/Registry.h"

namespace pw::test {
namespace {

class Enumeration : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(store_.RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Enum", 0, nullptr, 0, kAccess3F, nullptr,
                                     &key_, nullptr),
              ERROR_SUCCESS);
  }
  void AddSubkey(const std::string& name) {
    HKEY h = 0;
    ASSERT_EQ(store_.RegCreateKeyExA(key_, name, 0, nullptr, 0, kAccess3F, nullptr, &h, nullptr), ERROR_SUCCESS);
    store_.RegCloseKey(h);
  }
  void AddValue(const std::string& name, const std::string& data, DWORD type = REG_BINARY) {
    ASSERT_EQ(store_.RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                    static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  std::vector<std::string> Subkeys(RegistryStore& store, LONG* end = nullptr) {
    std::vector<std::string> names;
    LONG status = ForEachSubkey(store, key_, [&](const std::string& n) {
      names.push_back(n);
      return names.size() < 1000;  // a runaway enumeration fails the test, not the machine
    });
    if (end) *end = status;
    return names;
  }

  MemoryStore store_;
  HKEY key_ = 0;
};

TEST_F(Enumeration, ReadsEveryItemInOrderAndEndsWithNoMoreItems) {
  for (const char* n : {"b", "a", "c"}) AddSubkey(n);
  AddValue("z", "1");
  AddValue("y", "2");
  LONG end = 0;
  EXPECT_EQ(Subkeys(store_, &end), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
  std::vector<std::string> values;
  EXPECT_EQ(ForEachValue(store_, key_, [&](const EnumeratedValue& v) {
              values.push_back(v.name + "=" + v.data);
              return true;
            }),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(values, (std::vector<std::string>{"z=1", "y=2"}));
}

TEST_F(Enumeration, NamesAndDataLongerThanTheSmallBuffersAreReadWhole) {
  std::string longKey(255, 'k');
  std::string longName(400, 'n');
  std::string longData(1000, 'd');
  AddSubkey(longKey);
  AddValue(longName, longData);
  AddValue("short", std::string(255, 'e'));
  AddValue(std::string(254, 'm'), "x");
  EXPECT_EQ(Subkeys(store_), std::vector<std::string>{longKey});
  std::vector<EnumeratedValue> values;
  ForEachValue(store_, key_, [&](const EnumeratedValue& v) {
    values.push_back(v);
    return true;
  });
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, longName);
  EXPECT_EQ(values[0].data, longData);
  EXPECT_EQ(values[0].type, REG_BINARY);
  EXPECT_EQ(values[1].data, std::string(255, 'e'));
  EXPECT_EQ(values[2].name, std::string(254, 'm'));
}

// A store whose enumeration fails from some index on, as a store that stays
// busy or a key deleted by another process would.
class FailingFrom : public ForwardingStore {
 public:
  FailingFrom(RegistryStore& target, DWORD from, LONG status) : ForwardingStore(target), from_(from), status_(status) {}
  LONG RegEnumKeyExA(HKEY k, DWORD i, char* n, DWORD* l, DWORD* r, char* c, DWORD* cl, FILETIME* t) override {
    ++calls;
    return i >= from_ ? status_ : ForwardingStore::RegEnumKeyExA(k, i, n, l, r, c, cl, t);
  }
  LONG RegEnumValueA(HKEY k, DWORD i, char* n, DWORD* l, DWORD* r, DWORD* t, BYTE* d, DWORD* dl) override {
    ++calls;
    return i >= from_ ? status_ : ForwardingStore::RegEnumValueA(k, i, n, l, r, t, d, dl);
  }
  int calls = 0;

 private:
  DWORD from_;
  LONG status_;
};

TEST_F(Enumeration, APersistentFailureEndsTheKey) {
  for (const char* n : {"a", "b", "c", "d"}) AddSubkey(n);
  for (const char* n : {"v1", "v2", "v3"}) AddValue(n, "x");
  for (LONG failure : {ERROR_BUSY, ERROR_KEY_DELETED, ERROR_REGISTRY_IO_FAILED}) {
    FailingFrom failing(store_, 2, failure);
    LONG end = 0;
    EXPECT_EQ(Subkeys(failing, &end), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(end, failure);
    int values = 0;
    EXPECT_EQ(ForEachValue(failing, key_, [&](const EnumeratedValue&) { return ++values < 1000; }), failure);
    EXPECT_EQ(values, 2);
  }
}

TEST_F(Enumeration, MoreDataThatNeverSettlesEndsTheKeyInsteadOfLooping) {
  AddValue("v", std::string(300, 'x'));
  FailingFrom alwaysMore(store_, 0, ERROR_MORE_DATA);
  EnumeratedValue value;
  EXPECT_NE(EnumValueAt(alwaysMore, key_, 0, value), ERROR_SUCCESS);
  EXPECT_LT(alwaysMore.calls, 20);
}

TEST_F(Enumeration, AKeyDeletedDuringTheEnumerationEndsIt) {
  for (const char* n : {"a\\x", "a\\y", "a\\z"}) AddSubkey(n);
  HKEY inner = 0;
  ASSERT_EQ(store_.RegOpenKeyA(key_, "a", &inner), ERROR_SUCCESS);
  std::vector<std::string> seen;
  LONG end = ForEachSubkey(store_, inner, [&](const std::string& n) {
    seen.push_back(n);
    if (seen.size() == 1) {
      EXPECT_EQ(DeleteKeyTree(store_, key_, "a"), ERROR_SUCCESS);
    }
    return true;
  });
  EXPECT_EQ(end, ERROR_KEY_DELETED);
  EXPECT_EQ(seen, std::vector<std::string>{"x"});
  store_.RegCloseKey(inner);
}

}  // namespace
}  // namespace pw::test
