#pragma once
// Paths compared by components, the way the platform reads them, never as plain text.

#include <string_view>
#include <vector>

#include "platform/wide_string.h"

namespace orvane {

struct PathComponent {
  enum class Kind {
    DrivePrefix,           // C:
    UncPrefix,             // \\server\share
    DevicePrefix,          // \\.\name
    VerbatimPrefix,        // \\?\name
    VerbatimUncPrefix,     // \\?\UNC\server\share
    VerbatimDrivePrefix,   // \\?\C:
    Root,                  // the separator right after the prefix, or at the start
    CurrentDir,            // .
    ParentDir,             // ..
    Name,
  };
  Kind kind;
  std::u16string_view first;   // drive letter, server, device or verbatim text, or the name
  std::u16string_view second;  // share, for the two UNC kinds

  // Drive letters ignore case; server, share, device and names compare exactly.
  friend bool operator==(const PathComponent& a, const PathComponent& b);
};

// The path's components, viewing into `path` (which must outlive them).
std::vector<PathComponent> path_components(std::u16string_view path);

// True when the executable path lies inside the folder or equals it.
bool is_inside_install_folder(std::u16string_view executable, std::u16string_view folder);

// True when both paths have the same components.
bool paths_equal(std::u16string_view a, std::u16string_view b);

}  // namespace orvane
