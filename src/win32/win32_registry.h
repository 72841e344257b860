#pragma once
// The registry of the current user, through the raw Win32 calls.

#include "platform/registry.h"

namespace orvane {

class Win32Registry final : public Registry {
 public:
  std::int32_t create_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) override;
  std::int32_t open_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) override;
  std::int32_t query_value(KeyHandle key, const WideString& name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t set_value(KeyHandle key, const WideString& name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size) override;
  // Refuses an empty subkey with ERROR_INVALID_PARAMETER: RegDeleteTreeW would take it for the
  // whole of HKEY_CURRENT_USER.
  std::int32_t delete_tree(const WideString& subkey) override;
  std::int32_t close_key(KeyHandle key) override;
};

}  // namespace orvane
