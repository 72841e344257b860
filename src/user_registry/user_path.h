#pragma once
// The user's Path value (HKCU\Environment\Path): adding the install folder, taking it out, and
// telling running programs that the environment changed.

#include <optional>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/registry.h"

namespace orvane {

// Trailing backslashes ignored on both sides, ASCII letters compared without case, every other
// byte exactly.
bool same_path_entry(std::string_view entry, std::string_view folder);

// The value with ";" + folder appended, or nullopt when an entry already names the folder.
std::optional<std::string> path_with_folder(std::string_view old_value, std::string_view folder);

// The value without empty entries and without every entry that names the folder.
std::string path_without_folder(std::string_view old_value, std::string_view folder);

// Adds the folder to the user's Path (creating HKCU\Environment when missing) and broadcasts.
// A value that cannot be read whole, or that the text would not carry unchanged (a type other
// than REG_SZ / REG_EXPAND_SZ, an odd byte count, invalid UTF-16, data after the terminator), is
// never rewritten.
void add_to_user_path(Registry& registry, Broadcast& broadcast, const std::string& folder);

// Takes the folder out of the user's Path, under the same safety rules, and broadcasts; does
// nothing at all when HKCU\Environment cannot be opened.
void remove_from_user_path(Registry& registry, Broadcast& broadcast, const std::string& folder);

// WM_SETTINGCHANGE with "Environment" to every top-level window, 3 s time-out, abort if hung.
void broadcast_environment_change(Broadcast& broadcast);

}  // namespace orvane
