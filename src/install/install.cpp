#include "install/install.h"

#include "install/file_placement.h"
#include "install/uninstall_entry.h"
#include "user_registry/user_path.h"
#include "product/product_identity.h"
#include "product/setup_dialogs.h"

namespace orvane {

SetupResult run_install(Platform& platform, const std::optional<PlatformPath>& folder, bool silent) {
  if (!folder) return unknown_install_folder_error();
  const InstallLayout layout{*folder};

  if (SetupResult r = create_install_folder(platform, layout.folder); !r.ok()) return r;
  for (const PayloadImage& image : carried_files()) {
    if (SetupResult r = place_carried_file(platform, layout.folder, image); !r.ok()) return r;
  }
  if (SetupResult r = place_uninstaller(platform, layout.folder); !r.ok()) return r;

  const std::string text = layout.text();
  add_to_user_path(platform.registry, platform.broadcast, text);
  write_uninstall_entry(platform.registry, text, layout.uninstaller_path());
  if (!silent) tell_installed(platform.dialogs, text);
  return {};
}

}  // namespace orvane
