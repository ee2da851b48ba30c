// Public suffixes: names under which unrelated parties register their sites
// ("com", "co.uk", "github.io", "s3.amazonaws.com"). A listing that covers
// every name under one covers all of those sites.
//
// The rules are those of the Public Suffix List, its ICANN and its private
// section alike, as Debian's publicsuffix package carries it, compiled in at
// build time: one list and one reading of it on every platform, fast enough
// for the address parser. The reading is that of the list's own algorithm
// (wildcards, exceptions, and "*" for a top-level name the list lacks); rules
// in other scripts are also known by their ASCII (punycode) form.
#pragma once

#include <cstddef>
#include <string_view>

namespace pw {

// How many of the name's last labels form its public suffix; 0 for an empty
// name. Letters in any case.
std::size_t PublicSuffixLabels(std::string_view name);
// The same, told where the name's last two labels start (the address parser
// has found them already): most names are answered from those alone.
std::size_t PublicSuffixLabels(std::string_view name, std::size_t lastTwoLabels);

// True when the whole name is a public suffix.
bool IsPublicSuffix(std::string_view name);

// The name's registrable domain: its public suffix with one more label in
// front ("example.co.uk" for "www.example.co.uk"), a view into `name`; empty
// when the name is a public suffix itself.
std::string_view RegistrableDomain(std::string_view name);

}  // namespace pw
