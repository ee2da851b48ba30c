// Enumerating a key's subkeys or values by index, the one pattern every caller
// uses. Status 0 is an item; ERROR_MORE_DATA (a name or data longer than the
// 255-byte buffers) is an item too, read whole with larger buffers, since a name
// cut short would name another key; 259 ends the enumeration, and so does any
// other failure (a key deleted meanwhile, a store that stays busy), which would
// otherwise yield items forever.
#pragma once

#include <functional>
#include <string>

#include "registry/RegistryStore.h"

namespace pw {

inline constexpr DWORD kEnumBufferSize = 255;

struct EnumeratedValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

// The subkey name at `index`. Returns 0, 259 or the failure.
LONG EnumSubkeyAt(RegistryStore& store, HKEY key, DWORD index, std::string& name);
// The value at `index`, with its type and data. Returns 0, 259 or the failure.
LONG EnumValueAt(RegistryStore& store, HKEY key, DWORD index, EnumeratedValue& value);

// Visits every subkey (or value) from index 0 until 259, a failure, or `visit`
// returning false. Returns the status that ended it: 259 after the last item,
// 0 when `visit` stopped it, or the failure.
LONG ForEachSubkey(RegistryStore& store, HKEY key, const std::function<bool(const std::string&)>& visit);
LONG ForEachValue(RegistryStore& store, HKEY key,
                  const std::function<bool(const EnumeratedValue&)>& visit);

}  // namespace pw
