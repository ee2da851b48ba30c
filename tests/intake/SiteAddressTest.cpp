// Address parsing: the worked examples, the refusals and the decided cases.
#include <gtest/gtest.h>

#include "ScriptedPrompter.h"
#include "intake/SiteAddress.h"

namespace pw::test {
namespace {

struct Accepted {
  const char* address;
  const char* addressText;
  const char* domain;
  const char* subDomain;
  const char* fullSubDomain;
};

void ExpectAccepted(const Accepted& want) {
  SCOPED_TRACE(want.address);
  SiteAddressParts parts = ParseSiteAddress(want.address);
  EXPECT_EQ(parts.Verdict, AddressVerdict::Accepted);
  EXPECT_EQ(parts.AddressText, want.addressText);
  EXPECT_EQ(parts.Domain, want.domain);
  EXPECT_EQ(parts.SubDomain, want.subDomain);
  EXPECT_EQ(parts.FullSubDomain, want.fullSubDomain);
  EXPECT_EQ(parts.IpText, "");
}

void ExpectCorrupted(const std::string& address, const std::string& addressText) {
  SCOPED_TRACE(address);
  SiteAddressParts parts = ParseSiteAddress(address);
  EXPECT_EQ(parts.Verdict, AddressVerdict::CorruptedUrl);
  EXPECT_EQ(parts.AddressText, addressText);
  EXPECT_EQ(parts.Domain, "");
  EXPECT_EQ(parts.SubDomain, "");
  EXPECT_EQ(parts.FullSubDomain, "");
}

TEST(ParseSiteAddress, WorkedExamples) {
  for (const Accepted& example : {
           Accepted{"http://www.example.com/index.html", "http://www.example.com", "example.com", "*", "www"},
           Accepted{"www.example.com", "www.example.com", "example.com", "*", "www"},
           Accepted{"https://a.b.example.com", "https://a.b.example.com", "example.com", "*.b", "a.b"},
           Accepted{"ftp://files.Example.COM/pub/", "ftp://files.Example.COM", "Example.COM", "*", "files"},
           Accepted{"www.example.co.test", "www.example.co.test", "co.test", "*.example", "www.example"},
       })
    ExpectAccepted(example);
}

TEST(ParseSiteAddress, AcceptedEdgeCases) {
  ExpectAccepted({"ww_w.example.com", "ww_w.example.com", "example.com", "*", "ww_w"});  // first label unchecked
  ExpectAccepted({"WWW.EXAMPLE.COM", "WWW.EXAMPLE.COM", "EXAMPLE.COM", "*", "WWW"});
  ExpectAccepted({"www..example.com", "www..example.com", "example.com", "*", "www."});
  ExpectAccepted({"http://.www.example.com/", "http://.www.example.com", "example.com", "*", "www"});
  ExpectAccepted({".example.com", ".example.com", "example.com", "*", ""});
  ExpectAccepted({"https://a.b.c.d.example.org/x?y", "https://a.b.c.d.example.org", "example.org", "*.b.c.d",
                  "a.b.c.d"});
  ExpectAccepted({"mailto://x-1.a-b.example.com", "mailto://x-1.a-b.example.com", "example.com", "*.a-b", "x-1.a-b"});
}

TEST(ParseSiteAddress, HostsOfTwoLabelsAreListedWholeOnTheirDomainKey) {
  ExpectAccepted({"example.com", "example.com", "example.com", "*", ""});
  ExpectAccepted({"http://Example.com/x", "http://Example.com", "Example.com", "*", ""});
  ExpectAccepted({"http://.example.com/", "http://.example.com", "example.com", "*", ""});
  ExpectAccepted({"ab.com", "ab.com", "ab.com", "*", ""});  // 6 characters: looked at
  ExpectCorrupted("localhost", "localhost");
  ExpectCorrupted("http://localhost:8080/", "http://localhost:8080");
  ExpectCorrupted("a..com", "a..com");
  ExpectCorrupted("exa_mple.com", "exa_mple.com");
  ExpectCorrupted("-example.com", "-example.com");
}

// The domain is never a public suffix, nor ends inside one: it goes as deep as
// the suffix and one label more, so that the listing covers no stranger's site.
TEST(ParseSiteAddress, APublicSuffixIsNeverTheDomain) {
  ExpectAccepted({"https://mybank-demo.github.io/", "https://mybank-demo.github.io", "mybank-demo.github.io", "*", ""});
  ExpectAccepted({"http://www.example.co.uk/x", "http://www.example.co.uk", "example.co.uk", "*", "www"});
  ExpectAccepted({"https://a.b.bucket.s3.amazonaws.com", "https://a.b.bucket.s3.amazonaws.com",
                  "bucket.s3.amazonaws.com", "*.b", "a.b"});
  ExpectCorrupted("https://github.io/", "https://github.io");  // nothing but a public suffix
  ExpectCorrupted("http://s3.amazonaws.com/bucket/key", "http://s3.amazonaws.com");
}

TEST(ParseSiteAddress, TooShortIsSilentAndSetsNothing) {
  SiteAddressParts parts = ParseSiteAddress("a.com");
  EXPECT_EQ(parts.Verdict, AddressVerdict::TooShort);
  EXPECT_EQ(parts.AddressText, "");
  EXPECT_EQ(ParseSiteAddress("").Verdict, AddressVerdict::TooShort);
  EXPECT_EQ(ParseSiteAddress("1.2.3").Verdict, AddressVerdict::TooShort);
  // Characters, not bytes: five of them in seven bytes.
  EXPECT_EQ(ParseSiteAddress("\xC3\xA4.c\xC3\xB6m").Verdict, AddressVerdict::TooShort);
  EXPECT_EQ(ParseSiteAddress("\xC3\xA4\xC3\xA4.com").Verdict, AddressVerdict::CorruptedUrl);
}

TEST(ParseSiteAddress, CharacterRulesOnTheListedPart) {
  ExpectCorrupted("http://www.example.com:8080/", "http://www.example.com:8080");
  ExpectCorrupted("www.example.com:8080", "www.example.com:8080");
  ExpectCorrupted("www.example.com.", "www.example.com.");
  ExpectCorrupted("www.-example.com", "www.-example.com");
  ExpectCorrupted("www.example-.com", "www.example-.com");
  ExpectCorrupted("www.exa_mple.com", "www.exa_mple.com");
  ExpectCorrupted("www.example.com?x=1", "www.example.com?x=1");
  ExpectCorrupted("http://www.user@example.com/", "http://www.user@example.com");
  ExpectCorrupted("www.ex ample.com", "www.ex ample.com");
  ExpectCorrupted("www.b\xC3\xA4r.com", "www.b\xC3\xA4r.com");
}

TEST(ParseSiteAddress, FirstLabelMayNotSplitOrDamageAKeyName) {
  ExpectCorrupted("http://a\\b.example.com/", "http://a\\b.example.com");
  ExpectCorrupted(std::string("www\x01.example.com"), std::string("www\x01.example.com"));
  ExpectCorrupted(std::string("www\x7F.example.com"), std::string("www\x7F.example.com"));
  ExpectCorrupted(std::string("w\tw.example.com"), std::string("w\tw.example.com"));
  // Bytes that are not UTF-8 text would make a name no export can write.
  ExpectCorrupted("http://\xFF.b.example.com/", "http://\xFF.b.example.com");
  ExpectAccepted({"w*w.example.com", "w*w.example.com", "example.com", "*", "w*w"});
  ExpectAccepted({"http://user@www.example.com/", "http://user@www.example.com", "example.com", "*", "user@www"});
}

TEST(ParseSiteAddress, TextTheStepsLeaveUndefinedIsCorrupted) {
  ExpectCorrupted("http://", "http://");    // the first "//" at the very end
  ExpectCorrupted("abcd//", "abcd//");
  ExpectCorrupted("file:///c:/x", "file://");  // empty host
  ExpectCorrupted("/abcdef", "");
  ExpectCorrupted("abcde.", "abcde.");  // the first "." ends the host
  ExpectCorrupted("abcd..", "abcd..");
  ExpectCorrupted("http://./", "http://.");
  ExpectCorrupted("http:///www.example.com", "http://");
}

// The refusal names the part of the address it is about, for the messages
// that add a line to the designed one.
TEST(ParseSiteAddress, ARefusalNamesWhatWasRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://foo.bar:8080/x", "the port :8080 "},
      {"http://a\\b.example.com/", "the path \\b.example.com "},
      {"http://192.0.2.1/login", "the IP address 192.0.2.1 "},
      {"www.exa_mple.com", "the character '_' "},
      {"www.ex ample.com", "a space "},
      {"www.b\xC3\xA4r.com", "the character '\xC3\xA4' "},
      {"w\tw.example.com", "the control character 0x09 "},
      {"localhost", "the single name localhost "},
      {"www.a..example.com", "an empty label "},
      {"abc", "an address of fewer than 6 characters"},
  };
  for (auto [address, refused] : cases)
    EXPECT_EQ(ParseSiteAddress(address).Refused.rfind(refused, 0), 0u) << address << ": " << ParseSiteAddress(address).Refused;
  EXPECT_EQ(ParseSiteAddress("www.example.com").Refused, "");
}

TEST(ParseSiteAddress, DottedAddressesAnywhereAreFraud) {
  SiteAddressParts parts = ParseSiteAddress("http://192.0.2.1/login");
  EXPECT_EQ(parts.Verdict, AddressVerdict::FraudAlert);
  EXPECT_EQ(parts.IpText, "192.0.2.1");
  EXPECT_EQ(parts.AddressText, "");
  EXPECT_EQ(parts.Domain, "");
  EXPECT_EQ(ParseSiteAddress("http://www.example.com/pub/1.2.3.4/").IpText, "1.2.3.4");
  EXPECT_EQ(ParseSiteAddress("www.example.com/1.2.3.4").IpText, "1.2.3.4");
  EXPECT_EQ(ParseSiteAddress("http://x.com/?u=10.0.0.1").IpText, "10.0.0.1");
  // Not an address: it goes on to the later steps.
  ExpectAccepted({"http://192.0.2.256/", "http://192.0.2.256", "2.256", "*.0", "192.0"});
}

TEST(FindIpAddress, OctetRules) {
  auto found = [](const char* text) { return FindIpAddress(text).value_or("<none>"); };
  EXPECT_EQ(found("1.2.3.4"), "1.2.3.4");
  EXPECT_EQ(found("x1.2.3.4"), "1.2.3.4");
  EXPECT_EQ(found("1.2.3.4.5"), "1.2.3.4");  // the fifth number is not examined
  EXPECT_EQ(found("999.1.2.3.4/"), "1.2.3.4");
  EXPECT_EQ(found("010.0000255.1.1/"), "010.0000255.1.1");
  EXPECT_EQ(found("1.2.3.255"), "1.2.3.255");
  EXPECT_EQ(found("1.2.3.256"), "<none>");
  EXPECT_EQ(found("1.2.3.256/"), "<none>");
  EXPECT_EQ(found("1.2.3.4567"), "<none>");
  EXPECT_EQ(found("1.2.3./4"), "<none>");
  EXPECT_EQ(found("1..2.3.4"), "<none>");
  EXPECT_EQ(found("1.2.3.400.5.6.7.8"), "5.6.7.8");  // 400 then "." resets; a new candidate starts
  EXPECT_EQ(found("1.2.3.400.5.6.7"), "<none>");
  EXPECT_EQ(found("12345678901234567890.1.2.3.4/"), "1.2.3.4");  // huge octets do not overflow
  EXPECT_EQ(found("203.0.113.9.example.com"), "203.0.113.9");
  EXPECT_EQ(found("1.2.3"), "<none>");
  EXPECT_EQ(found(""), "<none>");
}

TEST(FindIpAddress, EachCallStartsAfresh) {
  EXPECT_EQ(FindIpAddress("http://198.51.100.7/").value_or(""), "198.51.100.7");
  EXPECT_EQ(FindIpAddress("203.0.113.9.example.com").value_or(""), "203.0.113.9");
  EXPECT_EQ(FindIpAddress("1.2.").value_or("<none>"), "<none>");
  EXPECT_EQ(FindIpAddress("3.4/").value_or("<none>"), "<none>");
}

TEST(IsValidHostText, Rules) {
  for (const char* valid : {"example.com", "EXAMPLE.COM", "a-b.c0", "0.9", "a", "x.-y", "a--b"})
    EXPECT_TRUE(IsValidHostText(valid)) << valid;
  for (const char* invalid : {"", ".a", "a.", "-a", "a-", "a-.b", "a..b", "a/b", "a_b", "a:b", "a@b", "a?b", "a%b",
                              "a b", "a\\b", "a\xC3\xA4", "a,b", "a+b"})
    EXPECT_FALSE(IsValidHostText(invalid)) << invalid;
}

// Any length parses whole; what is listed must fit the registry's key names.
TEST(ParseSiteAddress, LongAddressesParseWholeButKeyNamesFitTheRegistry) {
  std::string label(100000, 'a');
  std::string address = "http://www." + label + ".com/" + std::string(50000, 'p');
  ExpectCorrupted(address, "http://www." + label + ".com");
  std::string longest = std::string(251, 'a') + ".com";  // a domain of 255 bytes
  SiteAddressParts parts = ParseSiteAddress("http://www." + longest + "/" + std::string(50000, 'p'));
  EXPECT_EQ(parts.Verdict, AddressVerdict::Accepted);
  EXPECT_EQ(parts.Domain, longest);
  ExpectCorrupted("http://www.a" + longest, "http://www.a" + longest);

  std::string labels;
  for (int i = 0; i < 20000; ++i) labels += "ab.";
  ExpectCorrupted("https://x." + labels + "example.com", "https://x." + labels + "example.com");
  std::string subdomain = std::string(255, 'w');  // the full subdomain at the limit
  parts = ParseSiteAddress(subdomain + ".example.com");
  EXPECT_EQ(parts.Verdict, AddressVerdict::Accepted);
  EXPECT_EQ(parts.FullSubDomain, subdomain);
  ExpectCorrupted("w" + subdomain + ".example.com", "w" + subdomain + ".example.com");

  // Positions past 32,767 are found as any other.
  parts = ParseSiteAddress("http://www.example.com/" + std::string(40000, 'x') + "/192.0.2.1");
  EXPECT_EQ(parts.Verdict, AddressVerdict::FraudAlert);
  EXPECT_EQ(parts.IpText, "192.0.2.1");
  ExpectCorrupted("http://" + std::string(70000, '/'), "http://");
}

TEST(AddressRefusal, MessagesAsTheUserSeesThem) {
  ScriptedPrompter prompter;
  std::string address = "http://192.0.2.1/login";
  EXPECT_TRUE(ShowAddressRefusal(prompter, ParseSiteAddress(address), address));
  EXPECT_TRUE(ShowAddressRefusal(prompter, ParseSiteAddress("www.example.com:8080"), "www.example.com:8080"));
  EXPECT_FALSE(ShowAddressRefusal(prompter, ParseSiteAddress("a.com"), "a.com"));
  EXPECT_FALSE(ShowAddressRefusal(prompter, ParseSiteAddress("www.example.com"), "www.example.com"));
  ASSERT_EQ(prompter.asked.size(), 2u);
  EXPECT_EQ(prompter.asked[0].title, "Fraud Alert");
  EXPECT_EQ(prompter.asked[0].icon, MsgIcon::Critical);
  EXPECT_EQ(prompter.asked[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(prompter.asked[0].text,
            "Trustworthy sites or institutions do NOT use IP addresses to host websites without specifying a "
            "domain - this is a counterfeit site and will not be registered. Please contact your bank, escrow, or "
            "account provider; and the Federal Police in your country and report the use of this IP Address: "
            "192.0.2.1 in this link: http://192.0.2.1/login");
  EXPECT_EQ(prompter.asked[1].title, "Corrupted URL");
  EXPECT_EQ(prompter.asked[1].icon, MsgIcon::Exclamation);
  EXPECT_EQ(prompter.asked[1].text,
            "The URL you have entered is incorrect and may corrupt the registry if trusted. Please re-enter the URL "
            "with the correct format");
}

}  // namespace
}  // namespace pw::test
