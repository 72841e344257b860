#pragma once
// The one layer over the registry: keys under HKEY_CURRENT_USER, string and flag values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/registry.h"

namespace orvane {

// Owns one open key; closed exactly once, when released. Move-only.
class RegistryKey {
 public:
  RegistryKey(Registry& registry, KeyHandle handle) : registry_(&registry), handle_(handle) {}
  RegistryKey(RegistryKey&& other) noexcept
      : registry_(other.registry_), handle_(std::exchange(other.handle_, std::nullopt)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { release(); }

  KeyHandle handle() const { return *handle_; }
  Registry& registry() const { return *registry_; }
  // Closes the key now (RegCloseKey, status ignored); later calls do nothing.
  void release();

 private:
  Registry* registry_;
  std::optional<KeyHandle> handle_;
};

// RegCreateKeyExW under HKCU with KEY_READ | KEY_WRITE; creates missing keys. nullopt on failure.
std::optional<RegistryKey> create_user_key(Registry& registry, std::string_view subkey);
// RegOpenKeyExW under HKCU with KEY_READ | KEY_WRITE; never creates. nullopt on failure.
std::optional<RegistryKey> open_user_key(Registry& registry, std::string_view subkey);

// What reading a string value found.
struct StringRead {
  enum class Outcome {
    NoValue,     // missing (ERROR_FILE_NOT_FOUND), or stored with 0 bytes
    Text,        // `text` holds the value
    ReadFailed,  // any other failure: the value may exist but could not be read whole
  };
  Outcome outcome = Outcome::NoValue;
  std::string text;        // the units before the first 0 unit, every unpaired surrogate as U+FFFD
  std::uint32_t type = 0;  // the stored type, as reported
  // True when `text` holds exactly what is stored: an even byte count, valid UTF-16, and nothing
  // but 0 units after the first 0 unit. Writing `text` back then loses nothing.
  bool faithful = false;
};

// Two queries: the size, then the data. When the value grew in between (ERROR_MORE_DATA), the
// read is retried with the reported size a few times; the value's type is not examined. Only
// ERROR_FILE_NOT_FOUND means "no value": a query refused for another reason is ReadFailed, so
// that no caller replaces a value it could not see.
StringRead read_string_value(const RegistryKey& key, std::string_view name);

// REG_SZ or REG_EXPAND_SZ data with its terminator (2 bytes per unit, terminator included).
void write_string_value(const RegistryKey& key, std::string_view name, std::string_view data,
                        std::uint32_t type);
// REG_DWORD 1.
void write_dword_flag(const RegistryKey& key, std::string_view name);
// RegDeleteTreeW under HKCU; a missing key is no error to anyone.
void delete_user_key_tree(Registry& registry, std::string_view subkey);

}  // namespace orvane
