#include "intake/PublicSuffix.h"

#include <cstdint>
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

// A name's hash, taken over its letters lower-cased from the last to the
// first: a name one label longer continues the hash of the shorter one.
constexpr std::uint64_t kHashStart = 14695981039346656037ull;
std::uint64_t HashLowerBackwards(std::string_view text, std::uint64_t hash = kHashStart) {
  for (std::size_t i = text.size(); i-- > 0;)
    hash = (hash ^ static_cast<unsigned char>(AsciiLower(text[i]))) * 1099511628211ull;
  return hash;
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
      // Every shorter ending of a rule leads on to it.
      for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1))
        Add(std::string_view(name).substr(dot + 1), kNode);
    }
  }

  // `hash` is HashLowerBackwards(name).
  std::uint8_t Find(std::string_view name, std::uint64_t hash) const {
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

  std::string_view NameOf(const Slot& slot) const { return std::string_view(names_).substr(slot.offset, slot.length); }

  void Add(std::string_view name, std::uint8_t kind) {
    std::uint64_t hash = HashLowerBackwards(name);
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
};

const SuffixTable& Table() {
  static const SuffixTable table;
  return table;
}

}  // namespace

std::size_t PublicSuffixLabels(std::string_view name) {
  if (name.empty()) return 0;
  const SuffixTable& table = Table();
  // From the last label towards the first, as long as a rule may still end
  // with the name looked at.
  std::size_t labels = 1;  // a top-level name the list lacks is one all the same
  std::uint8_t parent = 0;
  std::size_t count = 0;
  std::uint64_t hash = kHashStart;
  for (std::size_t end = name.size();;) {
    std::size_t dot = name.rfind('.', end - 1);
    std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
    ++count;
    hash = HashLowerBackwards(name.substr(start, end - start), hash);
    std::uint8_t kind = table.Find(name.substr(start), hash);
    if (kind & kException) return count - 1;
    if ((kind & (kRule | kWildcard)) || (parent & kWildcard)) labels = count;
    if (!(kind & (kNode | kWildcard)) || dot == std::string_view::npos || dot == 0) break;
    parent = kind;
    end = dot;
    hash = HashLowerBackwards(".", hash);
  }
  return labels;
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
