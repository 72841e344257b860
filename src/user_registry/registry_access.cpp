#include "user_registry/registry_access.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/wide_string.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

constexpr int read_attempts = 4;

std::optional<RegistryKey> open_with(Registry& registry, std::string_view subkey, bool create) {
  const WideString path = to_wide(subkey);
  KeyHandle handle = 0;
  const std::int32_t status = create ? registry.create_key(path, win32::key_read_write, &handle)
                                     : registry.open_key(path, win32::key_read_write, &handle);
  if (status != 0) return std::nullopt;
  return RegistryKey(registry, handle);
}

// Whether units[0..count) say exactly what the text before the first 0 unit says.
bool only_zeros_after_first_zero(const std::vector<char16_t>& units, std::size_t count) {
  std::size_t k = 0;
  while (k < count && units[k] != 0) ++k;
  for (; k < count; ++k) {
    if (units[k] != 0) return false;
  }
  return true;
}

}  // namespace

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    release();
    registry_ = other.registry_;
    handle_ = std::exchange(other.handle_, std::nullopt);
  }
  return *this;
}

void RegistryKey::release() {
  if (handle_) {
    (void)registry_->close_key(*handle_);
    handle_.reset();
  }
}

std::optional<RegistryKey> create_user_key(Registry& registry, std::string_view subkey) {
  return open_with(registry, subkey, true);
}

std::optional<RegistryKey> open_user_key(Registry& registry, std::string_view subkey) {
  return open_with(registry, subkey, false);
}

StringRead read_string_value(const RegistryKey& key, std::string_view name) {
  const WideString wide_name = to_wide(name);
  StringRead read;
  std::uint32_t size = 0;
  const std::int32_t first =
      key.registry().query_value(key.handle(), wide_name, &read.type, nullptr, &size);
  if (first == static_cast<std::int32_t>(win32::error_file_not_found) || (first == 0 && size == 0)) {
    return read;
  }
  if (first != 0) {
    // The value may well exist: a caller must not take this for a missing value.
    read.outcome = StringRead::Outcome::ReadFailed;
    return read;
  }

  for (int attempt = 0; attempt < read_attempts; ++attempt) {
    // Zero-filled, and one unit more for an odd byte count.
    std::vector<char16_t> units((size + 1) / 2, 0);
    std::uint32_t returned = size;
    const std::int32_t status = key.registry().query_value(
        key.handle(), wide_name, &read.type, reinterpret_cast<std::uint8_t*>(units.data()), &returned);
    if (status == static_cast<std::int32_t>(win32::error_more_data) && returned > size) {
      size = returned;
      continue;
    }
    if (status != 0) break;

    std::size_t length = 0;
    while (length < units.size() && units[length] != 0) ++length;
    const std::u16string_view text(units.data(), length);
    read.outcome = StringRead::Outcome::Text;
    read.text = from_wide_lossy(text);
    const std::size_t stored_units = std::min<std::size_t>(returned / 2, units.size());
    read.faithful = returned % 2 == 0 && is_valid_utf16(text) &&
                    only_zeros_after_first_zero(units, stored_units);
    return read;
  }
  read.outcome = StringRead::Outcome::ReadFailed;
  return read;
}

void write_string_value(const RegistryKey& key, std::string_view name, std::string_view data,
                        std::uint32_t type) {
  const WideString wide_name = to_wide(name);
  const WideString wide_data = to_wide(data);
  std::vector<std::uint8_t> bytes(wide_data.size() * 2);
  std::memcpy(bytes.data(), wide_data.data(), bytes.size());
  (void)key.registry().set_value(key.handle(), wide_name, type, bytes.data(),
                                 static_cast<std::uint32_t>(bytes.size()));
}

void write_dword_flag(const RegistryKey& key, std::string_view name) {
  const WideString wide_name = to_wide(name);
  const std::uint8_t one[4] = {1, 0, 0, 0};
  (void)key.registry().set_value(key.handle(), wide_name, win32::reg_dword, one, 4);
}

void delete_user_key_tree(Registry& registry, std::string_view subkey) {
  (void)registry.delete_tree(to_wide(subkey));
}

}  // namespace orvane
