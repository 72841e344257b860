#pragma once
// The raw registry calls, all under HKEY_CURRENT_USER, with Win32's parameters and statuses. The
// logic built on them (RegistryKey, read_string_value, ...) is in user_registry/registry_access.h.

#include <cstdint>

#include "platform/wide_string.h"

namespace orvane {

using KeyHandle = std::uintptr_t;

class Registry {
 public:
  virtual ~Registry() = default;

  // RegCreateKeyExW(HKCU, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, out, NULL).
  // Creates missing keys on the way. Returns the Win32 status; `*out` is set only on success.
  virtual std::int32_t create_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) = 0;

  // RegOpenKeyExW(HKCU, subkey, 0, access, out). Never creates a key.
  virtual std::int32_t open_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) = 0;

  // RegQueryValueExW(key, name, NULL, type, data, size). With `data` null only the type and the
  // size in bytes are reported. With a buffer smaller than the value, returns ERROR_MORE_DATA (234)
  // and sets `*size` to the size needed.
  virtual std::int32_t query_value(KeyHandle key, const WideString& name, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) = 0;

  // RegSetValueExW(key, name, 0, type, data, size): stores exactly `size` bytes.
  virtual std::int32_t set_value(KeyHandle key, const WideString& name, std::uint32_t type,
                                 const std::uint8_t* data, std::uint32_t size) = 0;

  // RegDeleteTreeW(HKCU, subkey): the key with all its values and subkeys. A missing key gives
  // ERROR_FILE_NOT_FOUND. An empty subkey is refused (it would empty all of HKCU).
  virtual std::int32_t delete_tree(const WideString& subkey) = 0;

  // RegCloseKey(key).
  virtual std::int32_t close_key(KeyHandle key) = 0;
};

}  // namespace orvane
