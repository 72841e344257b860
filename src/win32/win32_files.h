#pragma once
// Files on a Windows file system.

#include <cstdint>

#include "platform/files.h"

namespace orvane {

class Win32Files final : public Files {
 public:
  // How the rename and the delete through a handle set a file's information: the arguments of
  // SetFileInformationByHandle (the handle, the FILE_INFO_BY_HANDLE_CLASS, the buffer and its
  // size) after `context`; ERROR_SUCCESS or the error. A test puts its own in front of the
  // system's, to answer as a file system that refuses a class does.
  using SetInformation = std::uint32_t (*)(void* context, void* file, int information_class,
                                           void* information, std::uint32_t size);

  Win32Files() = default;
  Win32Files(SetInformation set_information, void* context)
      : set_information_(set_information), context_(context) {}

  bool path_exists(const PlatformPath& path) override;
  bool is_directory(const PlatformPath& path) override;
  Status make_directory(const PlatformPath& path) override;
  Status rename_replacing(const PlatformPath& source, const PlatformPath& destination) override;
  Status write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) override;
  Status delete_file(const PlatformPath& path) override;
  Status copy_file_replacing(const PlatformPath& source, const PlatformPath& destination) override;

 private:
  SetInformation set_information_ = nullptr;  // nullptr: SetFileInformationByHandle itself
  void* context_ = nullptr;
};

}  // namespace orvane
