// The engine's rules on hand-made zone maps, one case per rule. The same rules
// are checked against the engine itself on random maps in the Windows tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "MemoryBudget.h"
#include "ZoneMap.h"
#include "listings/ZoneAddress.h"
#include "listings/ZoneAnswerText.h"
#include "listings/ZoneForUrl.h"
#include "registry/MemoryStore.h"

namespace pw::test {
namespace {

class ZoneForUrlTest : public testing::Test {
 protected:
  // "zone by domain\subdomain "value"" with "HKLM " in front for the machine's
  // map; "zone not listed" when nothing decides.
  std::string Zone(const std::string& url) {
    ZoneAnswer answer = ZoneForUrl(store_, url);
    std::string zone = std::to_string(answer.zone);
    if (answer.verdict != ZoneVerdict::Listed) return zone + " " + ZoneAnswerName(answer);
    const ZoneMapKey& key = answer.listing;
    return zone + " by " + (key.hive == HKEY_LOCAL_MACHINE ? "HKLM " : "") + key.domain +
           (key.subdomain.empty() ? "" : "\\" + key.subdomain) + " \"" + key.valueName + "\"";
  }

  MemoryStore store_;
  ZoneMap user_{store_};
  ZoneMap machine_{store_, HKEY_LOCAL_MACHINE};
};

TEST_F(ZoneForUrlTest, TheUsersMapComesBeforeTheMachines) {
  machine_.SetZone("example.com", "*", 4);
  machine_.SetZone("example.org", "*", 4);
  user_.SetZone("example.com", "*", 2);
  EXPECT_EQ(Zone("http://www.example.com/"), "2 by example.com \"*\"");
  EXPECT_EQ(Zone("http://www.example.org/"), "4 by HKLM example.org \"*\"");
}

TEST_F(ZoneForUrlTest, TheSchemesValueComesBeforeStarAndOnlyDwordsCount) {
  user_.SetZone("example.com", "*", 2);
  user_.SetZone("example.com", "https", 4);
  user_.SetBytes("example.com", "ftp", REG_SZ, std::string("4\0", 2));
  EXPECT_EQ(Zone("HTTPS://example.com"), "4 by example.com \"https\"");
  EXPECT_EQ(Zone("http://example.com"), "2 by example.com \"*\"");
  EXPECT_EQ(Zone("ftp://example.com"), "2 by example.com \"*\"");
}

TEST_F(ZoneForUrlTest, ASubdomainKeyDecidesItsHostAndHidesTheDomainsOwnValues) {
  user_.SetZone("example.com", "*", 2);
  user_.SetZone("example.com\\mail", "http", 4);
  machine_.SetZone("example.com", "*", 1);
  EXPECT_EQ(Zone("http://mail.example.com/"), "4 by example.com\\mail \"http\"");
  EXPECT_EQ(Zone("http://a.mail.example.com/"), "2 by example.com \"*\"");
  // The subdomain key matches but holds nothing for https: the search goes on
  // with the next domain key, here the machine's, and says what it passed over.
  ZoneAnswer answer = ZoneForUrl(store_, "https://mail.example.com/");
  EXPECT_EQ(answer.zone, 1u);
  ASSERT_TRUE(answer.passedOver);
  EXPECT_EQ(answer.passedOver->subdomain, "mail");
}

TEST_F(ZoneForUrlTest, AStarDotKeyCoversOneLabelAndTheExactNameComesFirst) {
  user_.SetZone("example.com\\*.b", "*", 4);
  user_.SetZone("example.com\\ab.b", "*", 2);
  EXPECT_EQ(Zone("http://x.b.example.com/"), "4 by example.com\\*.b \"*\"");
  EXPECT_EQ(Zone("http://ab.b.example.com/"), "2 by example.com\\ab.b \"*\"");
  EXPECT_EQ(Zone("http://y.x.b.example.com/"), "3 Internet");
  EXPECT_EQ(Zone("http://b.example.com/"), "3 Internet");
}

TEST_F(ZoneForUrlTest, OnlyADomainOfItsOwnCoversItsSubdomains) {
  for (const char* key : {"ab.com", "example.co.uk", "net.uk", "b.example.com", "com.uk", "com"})
    user_.SetZone(key, "*", 4);
  EXPECT_EQ(Zone("http://www.ab.com/"), "4 by ab.com \"*\"");
  EXPECT_EQ(Zone("http://www.example.co.uk/"), "4 by example.co.uk \"*\"");
  EXPECT_EQ(Zone("http://a.b.example.com/"), "3 Internet");
  EXPECT_EQ(Zone("http://shop.com.uk/"), "3 Internet");
  EXPECT_EQ(Zone("http://www.example.org/"), "3 Internet");
  EXPECT_EQ(Zone("http://b.example.com/"), "4 by b.example.com \"*\"");
  EXPECT_EQ(Zone("http://example.com/"), "3 Internet");
  EXPECT_EQ(Zone("http://com/"), "4 by com \"*\"");
}

TEST_F(ZoneForUrlTest, TheMostSpecificDomainKeyComesFirst) {
  user_.SetZone("example.com", "*", 2);
  user_.SetZone("www.example.com", "*", 4);
  user_.SetZone("*.example.com", "*", 1);
  EXPECT_EQ(Zone("http://www.example.com/"), "4 by www.example.com \"*\"");
  EXPECT_EQ(Zone("http://shop.example.com/"), "1 by *.example.com \"*\"");
  EXPECT_EQ(Zone("http://a.shop.example.com/"), "2 by example.com \"*\"");
}

TEST_F(ZoneForUrlTest, TheHostIsReadAsTheEngineReadsIt) {
  user_.SetZone("example.com\\www", "*", 2);
  EXPECT_EQ(Zone(" http://user:pw@WWW.Ex%61mple.com:8080\\path?q#f "),
            "2 by example.com\\www \"*\"");
  EXPECT_EQ(Zone("http://www.example.com./"), "3 Internet");
  EXPECT_EQ(Zone("http://wwwexample.com/"), "3 Internet");
  EXPECT_EQ(Zone("http://192.0.2.1/"), "3 Internet");
  EXPECT_EQ(ZoneForUrl(store_, "http://10.1/").verdict, ZoneVerdict::ByNumber);
  for (const char* refused :
       {"www.example.com", "mailto:a@example.com", "http:/www.example.com", "http://",
        "http://www.example.com:65536/", "http://www.example.com%g/", "http://[::1"})
    EXPECT_EQ(ZoneForUrl(store_, refused).verdict, ZoneVerdict::NotAnswered) << refused;
}

TEST_F(ZoneForUrlTest, ADamagedValueDecidesWithTheNumberTheEngineMakesUp) {
  user_.SetBytes("example.com", "*", REG_DWORD, std::string("\x02", 1));
  ZoneAnswer answer = ZoneForUrl(store_, "http://example.com/");
  EXPECT_TRUE(answer.damaged);
  EXPECT_EQ(answer.zone, 0xFFFFFF02u);
}

TEST_F(ZoneForUrlTest, AnAddressByNumberIsToldApartFromNotListed) {
  EXPECT_EQ(ZoneForUrl(store_, "http://192.0.2.1/").verdict, ZoneVerdict::ByNumber);
}

#if !defined(_WIN32)
TEST_F(ZoneForUrlTest, AHostOfAnyLengthCostsMemoryInProportionToIt) {
  // 40,000 labels in front of a listed domain, as the window's zone line may
  // get them pasted: a few megabytes, not gigabytes.
  user_.SetZone("example.com", "*", 4);
  std::string url = "http://";
  for (int i = 0; i < 40000; ++i) url += "a.";
  url += "example.com/";
  EXPECT_TRUE(FitsInMemory(std::size_t{64} << 20, [&] {
    if (Zone(url) != "4 by example.com \"*\"") std::_Exit(3);
  }));
}
#endif

TEST(AddressAsTyped, AddsHttpWhereTheAddressHasNoScheme) {
  EXPECT_EQ(AddressAsTyped("  www.example.com/x "), "http://www.example.com/x");
  EXPECT_EQ(AddressAsTyped("localhost:8080"), "http://localhost:8080");
  EXPECT_EQ(AddressAsTyped("ftp://example.com"), "ftp://example.com");
  EXPECT_EQ(AddressAsTyped("mailto:a@example.com"), "mailto:a@example.com");
  EXPECT_EQ(AddressAsTyped(" "), "");
}

}  // namespace
}  // namespace pw::test
