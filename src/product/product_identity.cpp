#include "product/product_identity.h"

#include <vector>

#include "paths/paths.h"

namespace orvane {
namespace {

using Kind = PathComponent::Kind;

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
  if (base.size() != 2 || base[1] != u':') return false;
  const char16_t c = base[0];
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

}  // namespace

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
  const bool ends_in_separator = !base.empty() && (base.back() == u'\\' || base.back() == u'/');
  if (!base.empty() && !ends_in_separator && !is_bare_drive(base)) out.push_back(u'\\');
  out.append(name);
  return out;
}

PlatformPath join_path(const PlatformPath& base, std::string_view name) {
  return join_path(base, std::u16string_view(utf8_to_utf16(name)));
}

std::string folder_text(const PlatformPath& path) { return from_wide_lossy(path); }

PlatformPath install_folder(Process& process) {
  const std::u16string variable = utf8_to_utf16(local_app_data_variable);
  const std::optional<std::u16string> value = process.environment_variable(variable);
  const PlatformPath base = value ? *value : utf8_to_utf16(fallback_local_app_data);
  return join_path(join_path(base, programs_folder_name), product.display_name);
}

PlatformPath InstallLayout::old_payload_path() const {
  return join_path(folder, std::string(product.payload_file_name) + std::string(old_copy_suffix));
}

}  // namespace orvane
