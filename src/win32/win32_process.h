#pragma once
// The running Windows process: its command line, its own file, its environment, its end.

#include "platform/process.h"

namespace orvane {

class Win32Process final : public Process {
 public:
  std::optional<std::u16string> command_line() override;
  Result<PlatformPath> running_executable_path() override;
  std::optional<std::u16string> environment_variable(std::u16string_view name) override;
  std::optional<PlatformPath> known_local_app_data() override;
  [[noreturn]] void exit_process(std::uint32_t status) override;
};

}  // namespace orvane
