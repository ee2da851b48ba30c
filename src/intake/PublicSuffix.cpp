#include "intake/PublicSuffix.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/Ascii.h"
#include "registry/Utf8.h"

namespace pw {

// The list's rules, a rule a line (made at build time).
extern const char kPublicSuffixRules[];

namespace {

// What the list says of one name.
enum : std::uint8_t {
  kRule = 1,       // the name is a public suffix
  kWildcard = 2,   // every name one label below it is ("*.name")
  kException = 4,  // it is not, although a wildcard says so ("!name")
  kNode = 8,       // a longer rule ends with it: longer names must be looked at
};

// A name's hash, letter case aside: a few loads and multiplications, whatever
// its length, since the parser asks for every address. ORing 0x20 into every
// byte makes ASCII letters lower case (it merges a few other bytes too, which
// the comparison then tells apart).
inline std::uint64_t HashLower(std::string_view text) {
  std::size_t n = text.size();
  const char* p = text.data();
  std::uint64_t a = 0, b = 0;
  if (n >= 8) {
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + n - 8, 8);
  } else if (n >= 4) {
    std::uint32_t x = 0, y = 0;
    std::memcpy(&x, p, 4);
    std::memcpy(&y, p + n - 4, 4);
    a = x;
    b = y;
  } else if (n > 0) {
    a = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
        static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
  }
  constexpr std::uint64_t kCase = 0x2020202020202020ull;
  std::uint64_t h = ((a | kCase) * 0x9E3779B97F4A7C15ull) ^ ((b | kCase) * 0xC2B2AE3D27D4EB4Full) ^ (n * 0x165667B19E3779F9ull);
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 32);
}

bool EqualsLower(std::string_view lower, std::string_view text) {
  if (lower.size() != text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (lower[i] != AsciiLower(text[i])) return false;
  return true;
}

// The ASCII form of a label in another script: "xn--" and its punycode.
std::string Punycode(std::string_view label) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < label.size();) {
    char32_t point = 0;
    std::size_t length = DecodeUtf8(label, i, point);
    if (length == 0) return {};
    points.push_back(point);
    i += length;
  }
  constexpr std::uint32_t kBase = 36, kTmin = 1, kTmax = 26, kSkew = 38, kDamp = 700;
  auto digit = [](std::uint32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); };
  auto adapt = [&](std::uint32_t delta, std::uint32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    for (; delta > ((kBase - kTmin) * kTmax) / 2; k += kBase) delta /= kBase - kTmin;
    return k + (kBase - kTmin + 1) * delta / (delta + kSkew);
  };
  std::string out;
  for (char32_t point : points)
    if (point < 0x80) out += static_cast<char>(point);
  std::uint32_t basic = static_cast<std::uint32_t>(out.size());
  if (basic > 0) out += '-';
  std::uint32_t n = 0x80, delta = 0, bias = 72, handled = basic;
  while (handled < points.size()) {
    std::uint32_t next = 0xFFFFFFFF;
    for (char32_t point : points)
      if (point >= n && point < next) next = point;
    delta += (next - n) * (handled + 1);
    n = next;
    for (char32_t point : points) {
      if (point < n) ++delta;
      if (point != n) continue;
      std::uint32_t q = delta;
      for (std::uint32_t k = kBase;; k += kBase) {
        std::uint32_t t = k <= bias ? kTmin : k >= bias + kTmax ? kTmax : k - bias;
        if (q < t) break;
        out += digit(t + (q - t) % (kBase - t));
        q = (q - t) / (kBase - t);
      }
      out += digit(q);
      bias = adapt(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return "xn--" + out;
}

// A name in ASCII: labels in another script in their punycode form.
std::string AsciiName(std::string_view name) {
  std::string ascii;
  for (std::size_t start = 0;;) {
    std::size_t dot = name.find('.', start);
    std::string_view label = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
    bool plain = true;
    for (char c : label) plain = plain && static_cast<unsigned char>(c) < 0x80;
    if (start > 0) ascii += '.';
    ascii += plain ? std::string(label) : Punycode(label);
    if (dot == std::string_view::npos) return ascii;
    start = dot + 1;
  }
}

// The rules by name, in an open-addressed table of small slots (the names
// themselves lie in one text beside it): a lookup hashes the name's letters
// lower-cased as it goes, without copying it, and mostly touches one slot.
class SuffixTable {
 public:
  SuffixTable() {
    std::vector<std::pair<std::string, std::uint8_t>> rules;
    std::string_view text = kPublicSuffixRules;
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      line = line.substr(0, line.find_first_of(" \t\r"));  // a rule ends at the first blank
      if (line.empty()) continue;
      std::uint8_t kind = kRule;
      if (line[0] == '!') {
        kind = kException;
        line.remove_prefix(1);
      } else if (line.substr(0, 2) == "*.") {
        kind = kWildcard;
        line.remove_prefix(2);
      }
      std::string lower = AsciiLower(line);
      std::string ascii = AsciiName(lower);
      if (ascii != lower) rules.emplace_back(ascii, kind);
      rules.emplace_back(std::move(lower), kind);
    }
    std::size_t size = 1;
    while (size < rules.size() * 3) size *= 2;
    slots_.resize(size);
    for (const auto& [name, kind] : rules) {
      Add(name, kind);
      if ((kind & kWildcard) && name.find('.') == std::string::npos) wildTlds_ |= 1ull << TldBit(name);
      // Every shorter ending of a rule leads on to it.
      for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1))
        Add(std::string_view(name).substr(dot + 1), kNode);
    }
  }

  // False when no rule makes the names below this top-level name suffixes
  // ("*.ck"); true may be wrong.
  bool MaybeWildcardTld(std::string_view tld) const { return !tld.empty() && (wildTlds_ >> TldBit(tld) & 1); }

  std::uint8_t Find(std::string_view name) const {
    std::uint64_t hash = HashLower(name);
    std::uint32_t tag = static_cast<std::uint32_t>(hash >> 32) | 1;
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.tag == 0) return 0;
      if (slot.tag == tag && EqualsLower(NameOf(slot), name)) return slot.kind;
    }
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;  // high half of the hash, never 0 once used
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    std::uint8_t kind = 0;
  };

  // A bit for a top-level name from its length and its first and last letters.
  static unsigned TldBit(std::string_view tld) {
    return static_cast<unsigned>(tld.size() * 31 + static_cast<unsigned char>(AsciiLower(tld.front())) * 7 +
                                 static_cast<unsigned char>(AsciiLower(tld.back()))) & 63;
  }

  std::string_view NameOf(const Slot& slot) const { return std::string_view(names_).substr(slot.offset, slot.length); }

  void Add(std::string_view name, std::uint8_t kind) {
    std::uint64_t hash = HashLower(name);
    std::uint32_t tag = static_cast<std::uint32_t>(hash >> 32) | 1;
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.tag == 0) {
        slot = {tag, static_cast<std::uint32_t>(names_.size()), static_cast<std::uint16_t>(name.size()), kind};
        names_ += name;
        return;
      }
      if (slot.tag == tag && NameOf(slot) == name) {
        slot.kind |= kind;
        return;
      }
    }
  }

  std::vector<Slot> slots_;
  std::string names_;
  std::uint64_t wildTlds_ = 0;  // a bit per hash of a top-level name with a wildcard
};

inline const SuffixTable& Table() {
  static const SuffixTable table;
  return table;
}

}  // namespace

namespace {

// The list's algorithm, from the last label towards the first, as long as a
// rule may still end with the name looked at.
std::size_t WalkLabels(const SuffixTable& table, std::string_view name) {
  std::size_t labels = 1;  // a top-level name the list lacks is one all the same
  std::uint8_t parent = 0;
  std::size_t count = 0;
  for (std::size_t end = name.size();;) {
    std::size_t dot = name.rfind('.', end - 1);
    std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
    ++count;
    std::uint8_t kind = table.Find(name.substr(start));
    if (kind & kException) return count - 1;
    if ((kind & (kRule | kWildcard)) || (parent & kWildcard)) labels = count;
    if (!(kind & (kNode | kWildcard)) || dot == std::string_view::npos || dot == 0) break;
    parent = kind;
    end = dot;
  }
  return labels;
}

}  // namespace

std::size_t PublicSuffixLabels(std::string_view name, std::size_t lastTwoLabels) {
  if (name.empty()) return 0;
  const SuffixTable& table = Table();
  // Most names end in two labels that no rule knows, under a top-level name
  // without a wildcard: then the suffix is that name alone.
  std::string_view lastTwo = name.substr(lastTwoLabels);
  std::size_t dot = lastTwo.find('.');
  if (dot != std::string_view::npos && dot > 0 && dot + 1 < lastTwo.size() && !table.Find(lastTwo) &&
      !table.MaybeWildcardTld(lastTwo.substr(dot + 1)))
    return 1;
  return WalkLabels(table, name);
}

std::size_t PublicSuffixLabels(std::string_view name) {
  if (name.empty()) return 0;
  std::size_t last = name.rfind('.');
  if (last == std::string_view::npos || last == 0) return WalkLabels(Table(), name);
  std::size_t second = name.rfind('.', last - 1);
  return PublicSuffixLabels(name, second == std::string_view::npos ? 0 : second + 1);
}

bool IsPublicSuffix(std::string_view name) {
  if (name.empty()) return false;
  std::size_t labels = 1;
  for (char c : name) labels += c == '.';
  return PublicSuffixLabels(name) >= labels;
}

std::string_view RegistrableDomain(std::string_view name) {
  std::size_t labels = PublicSuffixLabels(name);
  std::size_t end = name.size();
  for (std::size_t i = 0; i <= labels; ++i) {
    std::size_t dot = end == 0 ? std::string_view::npos : name.rfind('.', end - 1);
    if (i == labels) return dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (dot == std::string_view::npos) return {};
    end = dot;
  }
  return {};
}

}  // namespace pw
