#include "product/product_identity.h"

namespace orvane {

std::optional<PlatformPath> local_app_data_folder(Process& process) {
  const std::u16string variable = utf8_to_utf16(local_app_data_variable);
  if (std::optional<std::u16string> value = process.environment_variable(variable);
      value && is_absolute(*value)) {
    return value;
  }
  if (std::optional<PlatformPath> known = process.known_local_app_data(); known && is_absolute(*known)) {
    return known;
  }
  return std::nullopt;
}

std::optional<PlatformPath> install_folder(Process& process) {
  const std::optional<PlatformPath> base = local_app_data_folder(process);
  if (!base) return std::nullopt;
  return join_path(join_path(*base, programs_folder_name), product.display_name);
}

SetupError unknown_install_folder_error() {
  return SetupError{"Cannot find your local application data folder: " +
                    std::string(local_app_data_variable) +
                    " does not hold a full path, and Windows does not name the folder."};
}

PlatformPath InstallLayout::old_payload_path() const {
  return join_path(folder, std::string(product.payload_file_name) + std::string(old_copy_suffix));
}

std::string uninstall_key_path() {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
         std::string(product.registry_key_name);
}

}  // namespace orvane
