#pragma once
// Facts about the running process: its command line, its own file, its environment, its end.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/result.h"
#include "platform/wide_string.h"

namespace orvane {

class Process {
 public:
  virtual ~Process() = default;

  // GetCommandLineW, without its terminating 0 unit; nullopt when the platform gives none.
  virtual std::optional<std::u16string> command_line() = 0;

  // GetModuleFileNameW for the process's own module, with a buffer that starts at 512 units and
  // grows until the whole path fits.
  virtual Result<PlatformPath> running_executable_path() = 0;

  // GetEnvironmentVariableW: the value's units (possibly none), or nullopt when the variable is
  // not set. An empty value and a missing one are told apart.
  virtual std::optional<std::u16string> environment_variable(std::u16string_view name) = 0;

  // SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY): the current user's Local
  // AppData folder as Windows records it, whether or not it exists yet; nullopt when Windows
  // cannot say (or the shell cannot be loaded). The shell's DLLs are loaded by this call only.
  virtual std::optional<PlatformPath> known_local_app_data() = 0;

  // ExitProcess. The real one does not return; a test double records the status and returns.
  virtual void exit_process(std::uint32_t status) = 0;
};

}  // namespace orvane
