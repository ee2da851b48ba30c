// The small layer of registry operations the program is written with, over a
// store. None of them raises an error or shows a message: failures show only as
// a 0 handle, false, a non-zero status or empty text, and failures of the
// store's medium also reach the store's error sink.
#pragma once

#include <string>

#include "registry/RegData.h"
#include "registry/RegistryStore.h"

namespace pw {

class Registry {
 public:
  explicit Registry(RegistryStore& store) : store_(store) {}

  RegistryStore& Store() const { return store_; }

  // Type 1 or 3: the data as text, its bytes without a terminating NUL. Type 4:
  // the data as a 32-bit integer, 4 bytes little-endian. Any other type, or data
  // that is not a number for type 4: nothing is written. Returns the status of
  // the write (0 when nothing was written for another type, 87 for type 4 data
  // that is not a number).
  LONG WriteRegValue(HKEY key, const std::string& name, DWORD type, const RegData& data);

  // Opens hive\path (never creating it), writes the value, closes. The status is
  // dropped: a caller sees nothing, as callers of this layer expect. Note the
  // order: data before type.
  void SetRegValue(HKEY hive, const std::string& path, const std::string& name, const RegData& data,
                   DWORD type);
  // The same, for a caller that must know whether the value landed: the
  // open's status when the key cannot be opened, else the write's.
  LONG SetRegValueChecked(HKEY hive, const std::string& path, const std::string& name, const RegData& data,
                          DWORD type);

  // Creates every missing key along the path, or opens the key there; the handle,
  // or 0. The caller closes it.
  HKEY CreateRegKey(HKEY hive, const std::string& path);
  // Opens the key with access 0x3F; the handle, or 0. The caller closes it.
  HKEY OpenRegKey(HKEY hive, const std::string& path);
  // True when the key can be opened; leaves nothing open and creates nothing.
  bool RegKeyExists(HKEY hive, const std::string& path);

  // Writes the data as text whatever the type; empty data writes nothing and
  // returns 0. Name and type may arrive as numbers.
  LONG WriteRegEntry(HKEY key, const RegData& name, const RegData& type, const RegData& data);

  // A fresh GUID in the registry's brace form (38 characters), or empty text.
  std::string NewGuidString();

  // The value as text: REG_SZ up to its first NUL; REG_DWORD as the unsigned
  // decimal of its first 4 bytes; REG_BINARY as the signed decimal of its first
  // 2 bytes (little-endian, missing bytes 0); empty text for other types and for
  // anything that cannot be read (key handle 0 included).
  std::string ReadRegValue(HKEY key, const std::string& name);
  // Opens hive\path with RegOpenKeyA, reads the value, closes in every case.
  std::string GetRegValue(HKEY hive, const std::string& path, const std::string& name);

 private:
  RegistryStore& store_;
};

}  // namespace pw
