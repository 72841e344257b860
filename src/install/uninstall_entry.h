#pragma once
// The product's entry in the user's list of installed programs.

#include <string>

#include "platform/registry.h"
#include "platform/wide_string.h"

namespace orvane {

// Creates or opens HKCU\...\Uninstall\OrvaneWorker and writes its nine values in a fixed order;
// every failure is ignored.
void write_uninstall_entry(Registry& registry, const std::string& folder_text,
                           const PlatformPath& uninstaller_path);

}  // namespace orvane
