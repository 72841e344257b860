#pragma once
// Taking the product away from the current user's account.

#include <optional>

#include "platform/platform.h"
#include "product/setup_error.h"

namespace orvane {

// Question (unless silent), Path, registration key, carried files, closing box (unless silent),
// deferred folder removal, for `folder` (install_folder's answer). With no folder only the
// registration key goes: no Path entry, file or command can be aimed at an unknown place.
// Best effort throughout: always succeeds.
SetupResult run_removal(Platform& platform, const std::optional<PlatformPath>& folder, bool silent);

}  // namespace orvane
