#pragma once
// The command line: splitting it into arguments, the switches, and the choice of mode.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace orvane {

struct SetupOptions {
  bool silent = false;     // no message box at any point of the run
  bool uninstall = false;  // removal was asked for
};

enum class SetupMode { Install, Remove };

enum class SwitchEffect { Silent, Uninstall };
struct Switch {
  std::string_view text;  // lower-case ASCII; matched as a whole argument, ignoring ASCII case
  SwitchEffect sets;
};
inline constexpr std::array<Switch, 6> switches{{
    {"--uninstall", SwitchEffect::Uninstall},
    {"/uninstall", SwitchEffect::Uninstall},
    {"--silent", SwitchEffect::Silent},
    {"/s", SwitchEffect::Silent},
    {"/silent", SwitchEffect::Silent},
    {"/quiet", SwitchEffect::Silent},
}};

// The argument list: element 0 is the program name. `command_line` is GetCommandLineW's units
// (reading stops at a 0 unit), or nullopt when there is none; with no command line, or an empty
// one, the list is the running executable's path alone (or an empty text when that fails).
// Each element is UTF-8; an unpaired surrogate becomes U+FFFD.
std::vector<std::string> split_command_line(const std::optional<std::u16string>& command_line,
                                            Process& process);

// The switches among the arguments; element 0 is never one.
SetupOptions read_options(const std::vector<std::string>& arguments);

// Remove when asked for, or when the running program lies inside the install folder (nullopt
// when there is none, so that nothing lies inside it).
SetupMode choose_mode(const SetupOptions& options, Process& process,
                      const std::optional<PlatformPath>& install_folder);

}  // namespace orvane
