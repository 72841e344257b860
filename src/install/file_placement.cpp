#include "install/file_placement.h"

#include <vector>

#include "paths/paths.h"
#include "product/product_identity.h"

namespace orvane {
namespace {

// The path without its last name, or nullopt when it has none to drop: an empty path, or a bare
// prefix or root such as "C:", "C:\" or "\\server\share\". A single relative name has the
// empty path (the current directory) as its parent.
std::optional<PlatformPath> parent_of(const PlatformPath& path) {
  const std::vector<PathComponent> parts = path_components(path);
  if (parts.empty()) return std::nullopt;
  const PathComponent::Kind last = parts.back().kind;
  if (last != PathComponent::Kind::Name && last != PathComponent::Kind::CurrentDir &&
      last != PathComponent::Kind::ParentDir) {
    return std::nullopt;
  }
  // Cut at the start of the last component, then drop the separators before it, but keep a root.
  std::size_t end = static_cast<std::size_t>(parts.back().first.data() - path.data());
  const std::size_t root_end =
      parts.size() >= 2 && parts[parts.size() - 2].kind == PathComponent::Kind::Root
          ? static_cast<std::size_t>(parts[parts.size() - 2].first.data() - path.data()) + 1
          : 0;
  while (end > root_end && (path[end - 1] == u'\\' || path[end - 1] == u'/')) --end;
  return path.substr(0, end);
}

SetupError cannot_create(Platform& platform, const PlatformPath& folder, const OsError& error) {
  return SetupError{"Cannot create " + folder_text(folder) + ": " +
                    describe_error(error, platform.messages)};
}

}  // namespace

SetupResult create_install_folder(Platform& platform, const PlatformPath& folder) {
  Files& files = platform.files;
  std::vector<PlatformPath> missing;  // from the folder upward
  for (std::optional<PlatformPath> current = folder; current && !current->empty();) {
    const std::optional<PlatformPath> parent = parent_of(*current);
    if (!parent) break;
    const Status made = files.make_directory(*current);
    if (made.ok()) break;
    const DirectoryError kind = classify_directory_error(made.error());
    if (kind == DirectoryError::NotFound) {
      missing.push_back(*current);
      current = parent;
      continue;
    }
    if (kind == DirectoryError::AlreadyExists && files.is_directory(*current)) break;
    return cannot_create(platform, folder, made.error());
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const Status made = files.make_directory(*it);
    if (made.ok()) continue;
    if (classify_directory_error(made.error()) == DirectoryError::AlreadyExists &&
        files.is_directory(*it)) {
      continue;  // someone else made it meanwhile
    }
    return cannot_create(platform, folder, made.error());
  }
  return {};
}

SetupResult place_carried_file(Platform& platform, const PlatformPath& folder, const PayloadImage& image) {
  const PlatformPath target = join_path(folder, image.name);
  const std::string old_name = std::string(image.name) + std::string(old_copy_suffix);
  if (platform.files.path_exists(target)) {
    (void)platform.files.rename_replacing(target, join_path(folder, old_name));
  }
  const Status written = platform.files.write_whole_file(target, image.bytes);
  if (!written.ok()) {
    return SetupError{"Cannot write " + folder_text(target) + ": " +
                      describe_error(written.error(), platform.messages)};
  }
  (void)delete_file(platform.files, join_path(folder, old_name));
  return {};
}

SetupResult place_uninstaller(Platform& platform, const PlatformPath& folder) {
  const Result<PlatformPath> exe = platform.process.running_executable_path();
  if (!exe.ok()) return SetupError{describe_error(exe.error(), platform.messages)};
  const PlatformPath uninstaller = InstallLayout{folder}.uninstaller_path();
  if (paths_equal(exe.value(), uninstaller)) return {};
  (void)platform.files.copy_file_replacing(exe.value(), uninstaller);
  return {};
}

Status delete_file(Files& files, const PlatformPath& path) { return files.delete_file(path); }

}  // namespace orvane
