#include "remove/removal.h"

#include "platform/registry_access.h"
#include "platform/user_path.h"
#include "product/carried_files.h"
#include "product/product_identity.h"
#include "product/setup_dialogs.h"
#include "remove/folder_removal.h"

namespace orvane {

SetupResult run_removal(Platform& platform, bool silent) {
  const InstallLayout layout = InstallLayout::from(platform.process);
  const std::string text = layout.text();

  if (!silent && !ask_removal(platform.dialogs)) return {};
  remove_from_user_path(platform.registry, platform.broadcast, text);
  delete_user_key_tree(platform.registry, uninstall_key_path());
  for (const PayloadImage& image : carried_files()) {
    (void)delete_file(platform.files, join_path(layout.folder, image.name));
  }
  // The closing box comes before the deferred removal: while it is open this program, often the
  // uninstall.exe inside the folder, is still running, and a running program's file (and so its
  // folder) cannot be deleted. Started after the box, the command's delay outlasts our exit.
  if (!silent) tell_removed(platform.dialogs);
  schedule_folder_removal(platform, text);
  return {};
}

}  // namespace orvane
