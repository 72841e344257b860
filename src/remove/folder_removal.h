#pragma once
// Deleting the install folder from a separate, windowless command interpreter, a moment after the
// setup program (often the uninstall.exe inside that folder) has let go of it.

#include <optional>
#include <string>

#include "platform/platform.h"

namespace orvane {

// /D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q "<folder>"
// /D: no AutoRun command of the user's (or the machine's) runs in front of ours. /V:OFF: delayed
// expansion stays off whatever the user's DelayedExpansion setting says, so that "!NAME!" in
// the folder text stays literal (with it on, rmdir would be aimed at another folder).
std::string folder_removal_argument(const std::string& folder_text);

// "cmd" /D /V:OFF /C ping ... : the quoted program name, a space, the argument (UTF-16, no terminator).
std::u16string folder_removal_command_line(const std::string& folder_text);

// The first existing cmd.exe in the system folder, the Windows folder, then the PATH entries.
// The setup program's own folder is never searched: a downloads folder may hold anything.
std::optional<PlatformPath> find_command_interpreter(Platform& platform);

// Starts the command and returns at once; every failure is silent. No command is started for a
// folder text that cmd would not take literally between double quotes: one holding a double
// quote (it would end the quoted target early) or a percent sign (cmd expands %NAME% there too).
void schedule_folder_removal(Platform& platform, const std::string& folder_text);

}  // namespace orvane
