#include "platform/files.h"

#include "platform/win32_codes.h"

namespace orvane {

Status delete_file(Files& files, const PlatformPath& path) { return files.delete_file(path); }

DirectoryError classify_directory_error(const OsError& error) {
  if (!error.has_code()) return DirectoryError::Other;
  switch (error.code) {
    case win32::error_file_not_found:
    case win32::error_path_not_found:
    case win32::error_invalid_drive:
    case win32::error_bad_netpath:
    case win32::error_bad_net_name:
      return DirectoryError::NotFound;
    case win32::error_file_exists:
    case win32::error_already_exists:
      return DirectoryError::AlreadyExists;
    default:
      return DirectoryError::Other;
  }
}

}  // namespace orvane
