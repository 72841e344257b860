#pragma once
// The path rules: paths read as components, the way the platform reads them, never as plain
// text; compared, joined, cut to their parent, told absolute or relative, turned into text; and
// the folder list of the PATH variable.

#include <optional>
#include <string>
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

// base + "\" + name, except that no separator is added after an empty base, a base that ends
// in a backslash or a slash, or a bare drive ("C:"). A verbatim base ("\\?\...") is rebuilt
// from its components, with one backslash between two of them.
PlatformPath join_path(const PlatformPath& base, std::u16string_view name);
PlatformPath join_path(const PlatformPath& base, std::string_view name);

// The path as UTF-8 text, each unpaired surrogate shown as U+FFFD.
std::string folder_text(const PlatformPath& path);

// The path without its last name, or nullopt when it has none to drop: an empty path, or a bare
// prefix or root such as "C:", "C:\" or "\\server\share\". A single relative name has the
// empty path (the current directory) as its parent.
std::optional<PlatformPath> parent_of(const PlatformPath& path);

// A path that names the same place whatever the current directory is: a UNC, device or verbatim
// path, or a drive with a root ("C:\"). "C:x", "\x" and "x" depend on the current directory.
bool is_absolute(std::u16string_view path);

// The folders listed in a PATH variable's value: split at every ";" outside double quotes,
// quotes dropped, empty entries skipped.
std::vector<PlatformPath> path_variable_folders(std::u16string_view value);

}  // namespace orvane
