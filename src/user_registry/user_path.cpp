#include "user_registry/user_path.h"

#include <vector>

#include "user_registry/registry_access.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

constexpr std::string_view environment_key = "Environment";
constexpr std::string_view path_value = "Path";

std::string_view without_trailing_backslashes(std::string_view s) {
  while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
  return s;
}

unsigned char fold_ascii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 0x20) : b;
}

std::vector<std::string_view> split_entries(std::string_view value) {
  std::vector<std::string_view> entries;
  for (std::size_t start = 0;;) {
    const std::size_t end = value.find(';', start);
    entries.push_back(value.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return entries;
    start = end + 1;
  }
}

// Whether the Path value can be rewritten from its text without losing anything stored.
bool safe_to_rewrite(const StringRead& read) {
  return read.faithful && (read.type == win32::reg_sz || read.type == win32::reg_expand_sz);
}

}  // namespace

bool same_path_entry(std::string_view entry, std::string_view folder) {
  entry = without_trailing_backslashes(entry);
  folder = without_trailing_backslashes(folder);
  if (entry.size() != folder.size()) return false;
  for (std::size_t k = 0; k < entry.size(); ++k) {
    if (fold_ascii(entry[k]) != fold_ascii(folder[k])) return false;
  }
  return true;
}

std::optional<std::string> path_with_folder(std::string_view old_value, std::string_view folder) {
  for (std::string_view entry : split_entries(old_value)) {
    if (same_path_entry(entry, folder)) return std::nullopt;
  }
  if (old_value.empty()) return std::string(folder);
  while (!old_value.empty() && old_value.back() == ';') old_value.remove_suffix(1);
  return std::string(old_value) + ";" + std::string(folder);
}

std::string path_without_folder(std::string_view old_value, std::string_view folder) {
  std::string out;
  for (std::string_view entry : split_entries(old_value)) {
    if (entry.empty() || same_path_entry(entry, folder)) continue;
    if (!out.empty()) out.push_back(';');
    out.append(entry);
  }
  return out;
}

void add_to_user_path(Registry& registry, Broadcast& broadcast, const std::string& folder) {
  std::optional<RegistryKey> key = create_user_key(registry, environment_key);
  if (!key) return;
  const StringRead read = read_string_value(*key, path_value);
  std::optional<std::string> updated;
  switch (read.outcome) {
    case StringRead::Outcome::NoValue:
      updated = path_with_folder("", folder);
      break;
    case StringRead::Outcome::Text:
      if (safe_to_rewrite(read)) updated = path_with_folder(read.text, folder);
      break;
    case StringRead::Outcome::ReadFailed:
      break;  // the value exists: never replace it by the folder alone
  }
  if (updated) write_string_value(*key, path_value, *updated, win32::reg_expand_sz);
  key->release();
  broadcast_environment_change(broadcast);
}

void remove_from_user_path(Registry& registry, Broadcast& broadcast, const std::string& folder) {
  std::optional<RegistryKey> key = open_user_key(registry, environment_key);
  if (!key) return;
  const StringRead read = read_string_value(*key, path_value);
  if (read.outcome == StringRead::Outcome::Text && safe_to_rewrite(read)) {
    write_string_value(*key, path_value, path_without_folder(read.text, folder),
                       win32::reg_expand_sz);
  }
  key->release();
  broadcast_environment_change(broadcast);
}

void broadcast_environment_change(Broadcast& broadcast) {
  const WideString environment = to_wide(environment_key);
  broadcast.send_message_timeout(win32::hwnd_broadcast, win32::wm_settingchange, 0, environment,
                                 win32::smto_abortifhung, 3000);
}

}  // namespace orvane
