#include "entry/run_setup.h"

#include "entry/command_line.h"
#include "install/install.h"
#include "product/product_identity.h"
#include "product/setup_dialogs.h"
#include "remove/removal.h"

namespace orvane {

int run_setup(Platform& platform) {
  const std::vector<std::string> arguments =
      split_command_line(platform.process.command_line(), platform.process);
  const SetupOptions options = read_options(arguments);

  // Asked once: the location test, the question and the procedure must see the same folder.
  const std::optional<PlatformPath> folder = install_folder(platform.process);

  if (choose_mode(options, platform.process, folder) == SetupMode::Remove) {
    (void)run_removal(platform, folder, options.silent);
    return 0;
  }
  // With no folder there is nothing to ask about: the install fails at once, with its error box.
  if (!options.silent && folder && !ask_install(platform.dialogs, *folder)) return 0;
  const SetupResult result = run_install(platform, folder, options.silent);
  if (result.ok()) return 0;
  if (!options.silent) tell_failure(platform.dialogs, result.error());
  return 1;
}

}  // namespace orvane
