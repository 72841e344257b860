#pragma once
// Taking the product away from the current user's account.

#include "platform/platform.h"
#include "product/setup_error.h"

namespace orvane {

// Question (unless silent), Path, registration key, carried files, closing box (unless silent),
// deferred folder removal. Best effort throughout: always succeeds.
SetupResult run_removal(Platform& platform, bool silent);

}  // namespace orvane
