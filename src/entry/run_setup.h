#pragma once
// The process entry: one decision, at most one procedure, exit status 0 or 1.

#include "platform/platform.h"

namespace orvane {

// Reads the command line, chooses the mode, runs the install or removal procedure, shows the
// error box after a failed interactive install, and returns the exit status.
int run_setup(Platform& platform);

}  // namespace orvane
