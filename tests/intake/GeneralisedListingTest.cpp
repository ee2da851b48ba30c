// The verification dialog's OK: the generalised listing of a parsed address
// written into the zone map, on every store.
#include <gtest/gtest.h>

#include "ListingsTestKit.h"
#include "intake/GeneralisedListing.h"
#include "intake/SiteAddress.h"
#include "listings/SiteList.h"

namespace pw::test {
namespace {

using Rows = std::vector<std::string>;

class GeneralisedListingTest : public ListingsTest {
 protected:
  // Parses the address and writes its listing, as OK does.
  LONG Add(const std::string& address, std::optional<Zone> zone) {
    SiteAddressParts parts = ParseSiteAddress(address);
    EXPECT_EQ(parts.Verdict, AddressVerdict::Accepted) << address;
    return WriteGeneralisedListing(*registry_, parts.Domain, parts.SubDomain, zone);
  }
  Rows Listed() { return Rebuild(); }
};

TEST_P(GeneralisedListingTest, WorkedExamples) {
  EXPECT_EQ(Add("http://www.example.com/index.html", Zone::Trusted), ERROR_SUCCESS);
  EXPECT_EQ(map_->Zone("example.com", "*"), 2u);
  EXPECT_EQ(map_->Class("", "example.com"), "REG_DWORD");
  EXPECT_EQ(Listed(), (Rows{"Default||example.com|2"}));

  EXPECT_EQ(Add("www.example.com", Zone::Restricted), ERROR_SUCCESS);  // the same key, overwritten
  EXPECT_EQ(map_->Zone("example.com", "*"), 4u);
  EXPECT_EQ(map_->ValueNames("example.com"), (Rows{"*"}));

  EXPECT_EQ(Add("https://a.b.example.com/x", Zone::Restricted), ERROR_SUCCESS);
  EXPECT_EQ(map_->Zone("example.com\\*.b", "*"), 4u);
  EXPECT_EQ(map_->Class("example.com", "*.b"), "REG_DWORD");
  EXPECT_EQ(Listed(), (Rows{"Default|*.b|example.com|4", "Default||example.com|4"}));
}

TEST_P(GeneralisedListingTest, CreatesBothKeysWhenMissingAndNoChoiceIsUnclassified) {
  EXPECT_EQ(Add("https://a.b.example.com", std::nullopt), ERROR_SUCCESS);
  EXPECT_EQ(map_->Class("", "example.com"), "REG_DWORD");
  EXPECT_EQ(map_->Zone("example.com\\*.b", "*"), 3u);
  EXPECT_EQ(map_->ValueNames("example.com"), Rows{});
}

TEST_P(GeneralisedListingTest, ATwoLabelHostIsListedOnItsDomainKey) {
  EXPECT_EQ(Add("http://Example.com/x", Zone::Trusted), ERROR_SUCCESS);
  EXPECT_EQ(map_->Zone("example.com", "*"), 2u);
  EXPECT_EQ(Listed(), (Rows{"Default||Example.com|2"}));
}

TEST_P(GeneralisedListingTest, NamesThatWouldMisplaceTheValueAreRefused) {
  EXPECT_EQ(WriteGeneralisedListing(*registry_, "", "*", Zone::Trusted), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteGeneralisedListing(*registry_, "a\\b.com", "*", Zone::Trusted), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WriteGeneralisedListing(*registry_, "example.com", "*.a\\b", Zone::Trusted), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(map_->ValueNames(""), Rows{});  // nothing landed on the base key
  EXPECT_TRUE(Listed().empty());
}

TEST_P(GeneralisedListingTest, ADomainTooLongForAKeyNameIsReportedAndNothingIsWritten) {
  if (SkipOnWine(GetParam(), kWineLimitsPaths)) return;
  // The address intake refuses such a domain; the writer refuses it as well.
  EXPECT_EQ(WriteGeneralisedListing(*registry_, std::string(300, 'a') + ".com", "*", Zone::Trusted),
            ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(Listed().empty());
}

INSTANTIATE_TEST_SUITE_P(Stores, GeneralisedListingTest, testing::ValuesIn(AllStoreKinds()), StoreKindName);

}  // namespace
}  // namespace pw::test
