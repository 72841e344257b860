#pragma once
// One installation for the current user, start to end.

#include <optional>

#include "platform/platform.h"
#include "product/setup_error.h"

namespace orvane {

// Folder, carried files, uninstaller, Path, registration entry, then (unless silent) the closing
// box, in `folder` (install_folder's answer). Only an unknown folder and the three file steps can
// fail it; their first error ends it, and an unknown folder ends it before anything is changed.
SetupResult run_install(Platform& platform, const std::optional<PlatformPath>& folder, bool silent);

}  // namespace orvane
