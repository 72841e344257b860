#pragma once
// Files on a Windows file system.

#include "platform/files.h"

namespace orvane {

class Win32Files final : public Files {
 public:
  bool path_exists(const PlatformPath& path) override;
  bool is_directory(const PlatformPath& path) override;
  Status make_directory(const PlatformPath& path) override;
  Status rename_replacing(const PlatformPath& source, const PlatformPath& destination) override;
  Status write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) override;
  Status delete_file(const PlatformPath& path) override;
  Status copy_file_replacing(const PlatformPath& source, const PlatformPath& destination) override;
};

}  // namespace orvane
