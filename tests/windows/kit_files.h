#pragma once
// Files as the cases arrange and inspect them, past the program under test: plain Win32 calls on
// the verbatim (\\?\) form of each path, so that folders longer than MAX_PATH and names the Win32
// path rules would trim (a trailing dot or space) are handled as they are.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kit {

using Bytes = std::vector<unsigned char>;

// An absolute path in its verbatim form: "\\?\C:\..." (or "\\?\UNC\..."); others as they are.
std::wstring verbatim(const std::wstring& path);

bool exists(const std::wstring& path);
bool is_directory(const std::wstring& path);
// The file's bytes; nullopt when there is no file (or it cannot be read).
std::optional<Bytes> read_file(const std::wstring& path);
// Creates or replaces the file, and any missing parent folders. False when that fails.
bool write_file(const std::wstring& path, const Bytes& bytes);
bool make_directories(const std::wstring& path);
// Deletes the folder and everything in it, read-only files included; links are removed, not
// followed. True when nothing is left.
bool remove_tree(const std::wstring& path);

// Everything below a folder: relative path (with "\") to "dir" or "<size> <64-bit hash>".
// An empty map for an empty folder; nullopt when the folder is missing.
using Listing = std::map<std::wstring, std::string>;
std::optional<Listing> list_tree(const std::wstring& folder);
// The relative paths of a listing, in order.
std::vector<std::wstring> names_of(const std::optional<Listing>& listing);

// The folder that holds this test program, without a trailing separator.
std::wstring own_folder();
// The user's temporary folder in its long form, without a trailing separator.
std::wstring temp_folder();
// The user's local application data folder as the profile records it (the known folder, not the
// LOCALAPPDATA variable).
std::wstring local_app_data_folder();

// Text read from a file written as UTF-16LE or as bytes.
std::string bytes_text(const Bytes& bytes);
std::wstring utf16_of(const Bytes& bytes);
Bytes bytes_of_utf16(const std::wstring& text);
Bytes bytes_of_text(const std::string& text);
// UTF-8 for messages (a lone surrogate shows as U+FFFD), and bytes as lowercase hex.
std::string utf8(const std::wstring& text);
std::string hex(const Bytes& bytes);
Bytes unhex(const std::string& text);

}  // namespace kit
