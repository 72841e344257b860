#pragma once
// The file operations installation and removal need. The Win32 realisation of each is in
// win32_files.cpp; tests use an in-memory file system.

#include <cstddef>
#include <span>

#include "platform/result.h"
#include "platform/wide_string.h"

namespace orvane {

class Files {
 public:
  virtual ~Files() = default;

  // True when the path's metadata can be read (links followed; where the path cannot be opened at
  // all, its directory entry answers, which describes a link itself). A file that another process holds
  // open, or that is running, counts as present. Any failure means false.
  virtual bool path_exists(const PlatformPath& path) = 0;

  // True when the metadata can be read, the directory attribute is set and the path is not a
  // symbolic link or junction. Any failure means false.
  virtual bool is_directory(const PlatformPath& path) = 0;

  // Creates one directory; the parent must exist. The error code tells why it failed (see
  // `classify_directory_error`).
  virtual Status make_directory(const PlatformPath& path) = 0;

  // Moves `source` to `destination`, replacing an existing destination file.
  virtual Status rename_replacing(const PlatformPath& source, const PlatformPath& destination) = 0;

  // Creates or truncates the file and writes every byte, straight from `bytes`. On failure the
  // file may be missing or partly written.
  virtual Status write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) = 0;

  // Deletes one file, also a read-only one. Fails with the first error when it cannot.
  virtual Status delete_file(const PlatformPath& path) = 0;

  // Copies `source` over `destination`, overwriting an existing destination file. The copy does
  // not keep a download's mark (the source's Zone.Identifier stream).
  virtual Status copy_file_replacing(const PlatformPath& source, const PlatformPath& destination) = 0;
};

// Deletes one file, also a read-only one, through `files`.
Status delete_file(Files& files, const PlatformPath& path);

// How the install folder's creation reads a `make_directory` failure.
enum class DirectoryError { NotFound, AlreadyExists, Other };
DirectoryError classify_directory_error(const OsError& error);

}  // namespace orvane
