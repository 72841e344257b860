#include "paths/paths.h"

#include <cstddef>
#include <optional>

namespace orvane {
namespace {

using Kind = PathComponent::Kind;

bool is_separator(char16_t u) { return u == u'\\' || u == u'/'; }
bool is_ascii_letter(char16_t u) { return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'); }
char16_t ascii_upper(char16_t u) { return (u >= u'a' && u <= u'z') ? char16_t(u - 0x20) : u; }

// Position of the next separator at or after `from` (only \ when `verbatim`), or the size.
std::size_t next_separator(std::u16string_view path, std::size_t from, bool verbatim) {
  for (std::size_t i = from; i < path.size(); ++i) {
    if (path[i] == u'\\' || (!verbatim && path[i] == u'/')) return i;
  }
  return path.size();
}

struct Prefix {
  std::size_t length = 0;  // units taken by the prefix
  bool present = false;
  bool verbatim = false;
  PathComponent component{Kind::Name, {}, {}};
};

Prefix parse_prefix(std::u16string_view path) {
  Prefix p;
  const auto starts = [&](std::u16string_view s) { return path.substr(0, s.size()) == s; };

  if (starts(u"\\\\?\\")) {
    p.present = p.verbatim = true;
    std::u16string_view rest = path.substr(4);
    if (rest.substr(0, 4) == u"UNC\\") {
      const std::size_t server_end = next_separator(path, 8, true);
      const std::size_t share_start = server_end < path.size() ? server_end + 1 : server_end;
      const std::size_t share_end = next_separator(path, share_start, true);
      p.component = {Kind::VerbatimUncPrefix, path.substr(8, server_end - 8),
                     path.substr(share_start, share_end - share_start)};
      p.length = share_end;
    } else if (rest.size() >= 2 && is_ascii_letter(rest[0]) && rest[1] == u':' &&
               (rest.size() == 2 || rest[2] == u'\\')) {
      p.component = {Kind::VerbatimDrivePrefix, rest.substr(0, 1), {}};
      p.length = 6;
    } else {
      const std::size_t end = next_separator(path, 4, true);
      p.component = {Kind::VerbatimPrefix, path.substr(4, end - 4), {}};
      p.length = end;
    }
    return p;
  }

  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    if (path.size() >= 4 && path[2] == u'.' && is_separator(path[3])) {
      const std::size_t end = next_separator(path, 4, false);
      p.present = true;
      p.component = {Kind::DevicePrefix, path.substr(4, end - 4), {}};
      p.length = end;
      return p;
    }
    const std::size_t server_end = next_separator(path, 2, false);
    if (server_end > 2 && server_end < path.size()) {
      const std::size_t share_end = next_separator(path, server_end + 1, false);
      if (share_end > server_end + 1) {
        p.present = true;
        p.component = {Kind::UncPrefix, path.substr(2, server_end - 2),
                       path.substr(server_end + 1, share_end - server_end - 1)};
        p.length = share_end;
        return p;
      }
    }
    return p;
  }

  if (path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == u':') {
    p.present = true;
    p.component = {Kind::DrivePrefix, path.substr(0, 1), {}};
    p.length = 2;
  }
  return p;
}

bool is_prefix(Kind k) {
  return k == Kind::DrivePrefix || k == Kind::UncPrefix || k == Kind::DevicePrefix ||
         k == Kind::VerbatimPrefix || k == Kind::VerbatimUncPrefix || k == Kind::VerbatimDrivePrefix;
}

void append_component(std::u16string& out, const PathComponent& c) {
  switch (c.kind) {
    case Kind::DrivePrefix: out.append(c.first).append(u":"); break;
    case Kind::UncPrefix: out.append(u"\\\\").append(c.first).append(u"\\").append(c.second); break;
    case Kind::DevicePrefix: out.append(u"\\\\.\\").append(c.first); break;
    case Kind::VerbatimPrefix: out.append(u"\\\\?\\").append(c.first); break;
    case Kind::VerbatimUncPrefix:
      out.append(u"\\\\?\\UNC\\").append(c.first).append(u"\\").append(c.second);
      break;
    case Kind::VerbatimDrivePrefix: out.append(u"\\\\?\\").append(c.first).append(u":"); break;
    case Kind::Root: out.append(u"\\"); break;
    case Kind::CurrentDir: out.append(u"."); break;
    case Kind::ParentDir: out.append(u".."); break;
    case Kind::Name: out.append(c.first); break;
  }
}

bool is_bare_drive(std::u16string_view base) {
  return base.size() == 2 && is_ascii_letter(base[0]) && base[1] == u':';
}

}  // namespace

bool operator==(const PathComponent& a, const PathComponent& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Kind::DrivePrefix:
    case Kind::VerbatimDrivePrefix:
      return ascii_upper(a.first[0]) == ascii_upper(b.first[0]);
    case Kind::UncPrefix:
    case Kind::VerbatimUncPrefix:
      return a.first == b.first && a.second == b.second;
    case Kind::DevicePrefix:
    case Kind::VerbatimPrefix:
    case Kind::Name:
      return a.first == b.first;
    case Kind::Root:
    case Kind::CurrentDir:
    case Kind::ParentDir:
      return true;
  }
  return false;
}

std::vector<PathComponent> path_components(std::u16string_view path) {
  std::vector<PathComponent> out;
  const Prefix prefix = parse_prefix(path);
  if (prefix.present) out.push_back(prefix.component);

  std::size_t i = prefix.length;
  const auto separator_at = [&](std::size_t k) {
    return k < path.size() && (path[k] == u'\\' || (!prefix.verbatim && path[k] == u'/'));
  };
  const bool has_root = separator_at(i);
  if (has_root) {
    out.push_back({Kind::Root, path.substr(i, 1), {}});
    ++i;
  }
  const bool keep_leading_dot =
      !has_root && (!prefix.present || prefix.component.kind == Kind::DrivePrefix);

  bool first_name = true;
  while (i <= path.size()) {
    const std::size_t end = next_separator(path, i, prefix.verbatim);
    const std::u16string_view name = path.substr(i, end - i);
    if (name == u".") {
      if (prefix.verbatim || (first_name && keep_leading_dot)) out.push_back({Kind::CurrentDir, name, {}});
    } else if (name == u"..") {
      out.push_back({Kind::ParentDir, name, {}});
    } else if (!name.empty()) {
      out.push_back({Kind::Name, name, {}});
    }
    first_name = false;
    if (end >= path.size()) break;
    i = end + 1;
  }
  return out;
}

bool is_inside_install_folder(std::u16string_view executable, std::u16string_view folder) {
  const std::vector<PathComponent> exe = path_components(executable);
  const std::vector<PathComponent> dir = path_components(folder);
  if (exe.size() < dir.size()) return false;
  for (std::size_t k = 0; k < dir.size(); ++k) {
    if (!(exe[k] == dir[k])) return false;
  }
  return true;
}

bool paths_equal(std::u16string_view a, std::u16string_view b) {
  return path_components(a) == path_components(b);
}

PlatformPath join_path(const PlatformPath& base, std::u16string_view name) {
  if (base.starts_with(u"\\\\?\\") && !name.empty()) {
    std::vector<PathComponent> parts = path_components(base);
    const std::vector<PathComponent> tail = path_components(name);
    parts.insert(parts.end(), tail.begin(), tail.end());
    PlatformPath out;
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const bool after_root = k > 0 && parts[k - 1].kind == Kind::Root;
      const bool is_root = parts[k].kind == Kind::Root;
      if (k > 0 && !after_root && !is_root && !is_prefix(parts[k].kind)) out.append(u"\\");
      append_component(out, parts[k]);
    }
    return out;
  }
  PlatformPath out = base;
  const bool ends_in_separator = !base.empty() && is_separator(base.back());
  if (!base.empty() && !ends_in_separator && !is_bare_drive(base)) out.push_back(u'\\');
  out.append(name);
  return out;
}

PlatformPath join_path(const PlatformPath& base, std::string_view name) {
  return join_path(base, std::u16string_view(utf8_to_utf16(name)));
}

std::string folder_text(const PlatformPath& path) { return from_wide_lossy(path); }

std::optional<PlatformPath> parent_of(const PlatformPath& path) {
  const std::vector<PathComponent> parts = path_components(path);
  if (parts.empty()) return std::nullopt;
  const Kind last = parts.back().kind;
  if (last != Kind::Name && last != Kind::CurrentDir && last != Kind::ParentDir) return std::nullopt;
  // Cut at the start of the last component, then drop the separators before it, but keep a root.
  std::size_t end = static_cast<std::size_t>(parts.back().first.data() - path.data());
  const std::size_t root_end =
      parts.size() >= 2 && parts[parts.size() - 2].kind == Kind::Root
          ? static_cast<std::size_t>(parts[parts.size() - 2].first.data() - path.data()) + 1
          : 0;
  while (end > root_end && is_separator(path[end - 1])) --end;
  return path.substr(0, end);
}

bool is_absolute(std::u16string_view path) {
  const std::vector<PathComponent> parts = path_components(path);
  if (parts.empty()) return false;
  switch (parts[0].kind) {
    case Kind::UncPrefix:
    case Kind::DevicePrefix:
    case Kind::VerbatimPrefix:
    case Kind::VerbatimUncPrefix:
    case Kind::VerbatimDrivePrefix:
      return true;
    case Kind::DrivePrefix:
      return parts.size() > 1 && parts[1].kind == Kind::Root;
    default:
      return false;
  }
}

std::vector<PlatformPath> path_variable_folders(std::u16string_view value) {
  std::vector<PlatformPath> folders;
  PlatformPath current;
  bool quoted = false;
  for (char16_t u : value) {
    if (u == u'"') {
      quoted = !quoted;
    } else if (u == u';' && !quoted) {
      if (!current.empty()) folders.push_back(current);
      current.clear();
    } else {
      current.push_back(u);
    }
  }
  if (!current.empty()) folders.push_back(current);
  return folders;
}

}  // namespace orvane
