#pragma once
// The registry as the cases arrange and inspect it: exact types and bytes, never a text
// rendering. Keys are paths below HKEY_CURRENT_USER unless a root is given.

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "kit_files.h"

namespace kit {

inline constexpr wchar_t environment_key[] = L"Environment";
inline constexpr wchar_t uninstall_parent_key[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t uninstall_key[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker";
// The user's settings of the command interpreter (AutoRun, DelayedExpansion, ...).
inline constexpr wchar_t command_processor_key[] = L"Software\\Microsoft\\Command Processor";
// Wine's own settings for the setup program (its DLL load order); Windows has no use for them.
inline constexpr wchar_t wine_setup_settings_key[] =
    L"Software\\Wine\\AppDefaults\\orvane-worker-setup.exe";

struct RegValue {
  DWORD type = REG_NONE;
  Bytes data;
  friend bool operator==(const RegValue&, const RegValue&) = default;
};
// As a failure message shows it: the type, then the text for an even-sized string, else hex.
void PrintTo(const RegValue& value, std::ostream* out);
std::string shown(const std::optional<RegValue>& value);

// A string value's bytes: UTF-16LE with the terminator.
Bytes string_bytes(const std::wstring& text);
RegValue sz(const std::wstring& text);
RegValue expand_sz(const std::wstring& text);
RegValue dword(DWORD value);

// nullopt when the key or the value is missing.
std::optional<RegValue> read_value(const std::wstring& key, const std::wstring& name,
                                   HKEY root = HKEY_CURRENT_USER);
// Stores exactly these bytes (an odd count, or a string without its terminator, included); the
// key is created when missing. The Win32 status.
LONG set_value(const std::wstring& key, const std::wstring& name, const RegValue& value);
LONG delete_value(const std::wstring& key, const std::wstring& name);
// The key and everything below it; ERROR_FILE_NOT_FOUND when it is missing.
LONG delete_tree(const std::wstring& key);
bool key_exists(const std::wstring& key);

struct NamedValue {
  std::wstring name;
  RegValue value;
  friend bool operator==(const NamedValue&, const NamedValue&) = default;
};
struct KeyContents {
  std::vector<NamedValue> values;     // in the order the registry enumerates them
  std::vector<std::wstring> subkeys;  // likewise
};
std::optional<KeyContents> read_key(const std::wstring& key);
// A value of a key's contents by name; nullopt when it has none.
std::optional<RegValue> value_named(const KeyContents& contents, const std::wstring& name);

// Every key below a key and the key itself (path ""), in enumeration order.
struct TreeKey {
  std::wstring path;
  std::vector<NamedValue> values;
};
using Tree = std::vector<TreeKey>;
std::optional<Tree> read_tree(const std::wstring& key);
// The same keys with the same values, whatever order the registry enumerates them in.
bool same_tree(const Tree& a, const Tree& b);
// Creates the keys and values of a tree below `key`, in its order.
LONG write_tree(const std::wstring& key, const Tree& tree);
std::string describe_tree(const std::optional<Tree>& tree);

// The key's discretionary access list, as a self-relative security descriptor.
std::optional<Bytes> read_security(const std::wstring& key);
LONG set_security(const std::wstring& key, const Bytes& descriptor);
// Replaces the key's access list with one that refuses setting values and creating subkeys to
// everyone (and allows the rest).
LONG deny_writes(const std::wstring& key);

}  // namespace kit
