#include "install/file_placement.h"

#include <vector>

#include "paths/paths.h"
#include "product/product_identity.h"

namespace orvane {
namespace {

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

}  // namespace orvane
