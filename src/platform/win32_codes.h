#pragma once
// The Win32 numbers the logic needs, spelled out so that the logic never includes windows.h. The
// Win32 implementation checks each against the real header with static_assert.

#include <cstdint>

namespace orvane::win32 {

inline constexpr std::uint32_t error_success = 0;
inline constexpr std::uint32_t error_invalid_function = 1;
inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_path_not_found = 3;
inline constexpr std::uint32_t error_access_denied = 5;
inline constexpr std::uint32_t error_invalid_drive = 15;
inline constexpr std::uint32_t error_sharing_violation = 32;
inline constexpr std::uint32_t error_handle_disk_full = 39;
inline constexpr std::uint32_t error_not_supported = 50;
inline constexpr std::uint32_t error_bad_netpath = 53;
inline constexpr std::uint32_t error_bad_net_name = 67;
inline constexpr std::uint32_t error_file_exists = 80;
inline constexpr std::uint32_t error_invalid_parameter = 87;
inline constexpr std::uint32_t error_disk_full = 112;
inline constexpr std::uint32_t error_insufficient_buffer = 122;
inline constexpr std::uint32_t error_dir_not_empty = 145;
inline constexpr std::uint32_t error_already_exists = 183;
inline constexpr std::uint32_t error_more_data = 234;
inline constexpr std::uint32_t error_mr_mid_not_found = 317;
inline constexpr std::uint32_t error_file_system_limitation = 665;

// Registry value types.
inline constexpr std::uint32_t reg_none = 0;
inline constexpr std::uint32_t reg_sz = 1;
inline constexpr std::uint32_t reg_expand_sz = 2;
inline constexpr std::uint32_t reg_binary = 3;
inline constexpr std::uint32_t reg_dword = 4;
inline constexpr std::uint32_t reg_multi_sz = 7;

// KEY_READ | KEY_WRITE.
inline constexpr std::uint32_t key_read_write = 0x2001F;

// Message boxes.
inline constexpr std::uint32_t mb_yesno_iconquestion = 0x24;
inline constexpr std::uint32_t mb_ok_iconinformation = 0x40;
inline constexpr std::uint32_t mb_ok_iconerror = 0x10;
inline constexpr int idyes = 6;

// The environment broadcast.
inline constexpr std::uintptr_t hwnd_broadcast = 0xFFFF;
inline constexpr std::uint32_t wm_settingchange = 0x001A;
inline constexpr std::uint32_t smto_abortifhung = 0x0002;

// Process start.
inline constexpr std::uint32_t create_no_window = 0x08000000;
inline constexpr std::uint32_t create_unicode_environment = 0x00000400;
inline constexpr std::uint32_t startf_usestdhandles = 0x00000100;
inline constexpr std::uint32_t startupinfo_size = 104;
inline constexpr std::uint32_t invalid_file_attributes = 0xFFFFFFFF;

}  // namespace orvane::win32
