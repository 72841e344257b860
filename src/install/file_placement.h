#pragma once
// Putting the product on disk: the install folder, the carried files, the uninstaller copy.

#include "platform/platform.h"
#include "product/carried_files.h"
#include "product/setup_error.h"

namespace orvane {

// Creates the folder and any missing parents, top-most first. An existing folder is success
// after one directory call. Fails with "Cannot create <folder>: <description>".
SetupResult create_install_folder(Platform& platform, const PlatformPath& folder);

// Moves an existing file of the image's name aside to <name>.old (outcome ignored), writes the
// image, then deletes the .old copy (outcome ignored). Fails with "Cannot write <file>: ...".
SetupResult place_carried_file(Platform& platform, const PlatformPath& folder, const PayloadImage& image);

// Copies the running program to uninstall.exe unless it already is that file; a failed copy is
// ignored. Fails only when the running program's own path cannot be had.
SetupResult place_uninstaller(Platform& platform, const PlatformPath& folder);

}  // namespace orvane
