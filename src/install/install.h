#pragma once
// One installation for the current user, start to end.

#include "platform/platform.h"
#include "product/setup_error.h"

namespace orvane {

// Folder, carried files, uninstaller, Path, registration entry, then (unless silent) the closing
// box. Only the three file steps can fail it; their first error ends it.
SetupResult run_install(Platform& platform, bool silent);

}  // namespace orvane
