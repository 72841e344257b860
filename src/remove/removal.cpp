#include "remove/removal.h"

#include "user_registry/registry_access.h"
#include "user_registry/user_path.h"
#include "product/carried_files.h"
#include "product/product_identity.h"
#include "product/setup_dialogs.h"
#include "remove/folder_removal.h"

namespace orvane {

SetupResult run_removal(Platform& platform, const std::optional<PlatformPath>& folder, bool silent) {
  if (!silent && !ask_removal(platform.dialogs)) return {};
  if (folder) remove_from_user_path(platform.registry, platform.broadcast, folder_text(*folder));
  delete_user_key_tree(platform.registry, uninstall_key_path());
  if (folder) {
    for (const PayloadImage& image : carried_files()) {
      (void)delete_file(platform.files, join_path(*folder, image.name));
    }
  }
  // The closing box comes before the deferred removal: while it is open this program, often the
  // uninstall.exe inside the folder, is still running, and a running program's file (and so its
  // folder) cannot be deleted. Started after the box, the command's delay outlasts our exit.
  if (!silent) tell_removed(platform.dialogs);
  if (folder) schedule_folder_removal(platform, folder_text(*folder));
  return {};
}

}  // namespace orvane
