#pragma once
// Starting a detached helper process on Windows.

#include "platform/processes.h"

namespace orvane {

class Win32Processes final : public Processes {
 public:
  Result<PlatformPath> system_directory() override;
  Result<PlatformPath> windows_directory() override;
  std::uint32_t file_attributes(const PlatformPath& path) override;
  Handle std_handle(StdStream stream) override;
  Result<Handle> duplicate_inheritable(Handle h) override;
  Result<StartedProcess> create_process(const ProcessStart& start) override;
  void close_handle(Handle h) override;
};

}  // namespace orvane
