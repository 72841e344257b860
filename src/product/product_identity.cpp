#include "product/product_identity.h"

namespace orvane {

PlatformPath install_folder(Process& process) {
  const std::u16string variable = utf8_to_utf16(local_app_data_variable);
  const std::optional<std::u16string> value = process.environment_variable(variable);
  const PlatformPath base = value ? *value : utf8_to_utf16(fallback_local_app_data);
  return join_path(join_path(base, programs_folder_name), product.display_name);
}

PlatformPath InstallLayout::old_payload_path() const {
  return join_path(folder, std::string(product.payload_file_name) + std::string(old_copy_suffix));
}

std::string uninstall_key_path() {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
         std::string(product.registry_key_name);
}

}  // namespace orvane
