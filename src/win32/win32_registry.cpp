#include "win32/win32_registry.h"

#include <windows.h>

#include "win32/win32_support.h"

namespace orvane {
namespace {

HKEY to_hkey(KeyHandle key) { return reinterpret_cast<HKEY>(key); }
KeyHandle to_key_handle(HKEY key) { return reinterpret_cast<KeyHandle>(key); }
std::int32_t to_status(LSTATUS status) { return static_cast<std::int32_t>(status); }

}  // namespace

std::int32_t Win32Registry::create_key(const WideString& subkey, std::uint32_t access,
                                       KeyHandle* out) {
  HKEY key = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, win32::wide(subkey), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) *out = to_key_handle(key);
  return to_status(status);
}

std::int32_t Win32Registry::open_key(const WideString& subkey, std::uint32_t access,
                                     KeyHandle* out) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, win32::wide(subkey), 0, access, &key);
  if (status == ERROR_SUCCESS) *out = to_key_handle(key);
  return to_status(status);
}

std::int32_t Win32Registry::query_value(KeyHandle key, const WideString& name, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) {
  // DWORD is unsigned long here, not the same type as std::uint32_t: go through locals.
  DWORD value_type = type != nullptr ? *type : 0;
  DWORD value_size = size != nullptr ? *size : 0;
  const LSTATUS status = RegQueryValueExW(to_hkey(key), win32::wide(name), nullptr,
                                          type != nullptr ? &value_type : nullptr, data,
                                          size != nullptr ? &value_size : nullptr);
  if (type != nullptr) *type = value_type;
  if (size != nullptr) *size = value_size;
  return to_status(status);
}

std::int32_t Win32Registry::set_value(KeyHandle key, const WideString& name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) {
  return to_status(RegSetValueExW(to_hkey(key), win32::wide(name), 0, type, data, size));
}

std::int32_t Win32Registry::delete_tree(const WideString& subkey) {
  if (subkey.view().empty()) return ERROR_INVALID_PARAMETER;
  return to_status(RegDeleteTreeW(HKEY_CURRENT_USER, win32::wide(subkey)));
}

std::int32_t Win32Registry::close_key(KeyHandle key) {
  return to_status(RegCloseKey(to_hkey(key)));
}

}  // namespace orvane
