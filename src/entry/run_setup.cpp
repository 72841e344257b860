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

  if (choose_mode(options, platform.process) == SetupMode::Remove) {
    (void)run_removal(platform, options.silent);
    return 0;
  }
  if (!options.silent && !ask_install(platform.dialogs, install_folder(platform.process))) {
    return 0;
  }
  const SetupResult result = run_install(platform, options.silent);
  if (result.ok()) return 0;
  if (!options.silent) tell_failure(platform.dialogs, result.error());
  return 1;
}

}  // namespace orvane
