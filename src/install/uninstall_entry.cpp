#include "install/uninstall_entry.h"

#include "user_registry/registry_access.h"
#include "platform/win32_codes.h"
#include "product/carried_files.h"
#include "product/product_identity.h"

namespace orvane {

void write_uninstall_entry(Registry& registry, const std::string& folder_text,
                           const PlatformPath& uninstaller_path) {
  std::optional<RegistryKey> key = create_user_key(registry, uninstall_key_path());
  if (!key) return;
  const std::string uninstaller = orvane::folder_text(uninstaller_path);
  const auto text = [&](std::string_view name, std::string_view value) {
    write_string_value(*key, name, value, win32::reg_sz);
  };
  text("DisplayName", product.display_name);
  text("DisplayVersion", product.version);
  text("Publisher", product.publisher);
  text("InstallLocation", folder_text);
  text("DisplayIcon", folder_text + "\\" + std::string(carried_files()[0].name));
  text("UninstallString", "\"" + uninstaller + "\" --uninstall");
  text("QuietUninstallString", "\"" + uninstaller + "\" --uninstall --silent");
  write_dword_flag(*key, "NoModify");
  write_dword_flag(*key, "NoRepair");
}

}  // namespace orvane
