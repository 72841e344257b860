// The numbers the logic spells out in win32_codes.h, checked against the Windows headers.

#include <windows.h>

#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/win32_codes.h"

namespace orvane::win32 {

static_assert(error_success == ERROR_SUCCESS);
static_assert(error_invalid_function == ERROR_INVALID_FUNCTION);
static_assert(error_file_not_found == ERROR_FILE_NOT_FOUND);
static_assert(error_path_not_found == ERROR_PATH_NOT_FOUND);
static_assert(error_access_denied == ERROR_ACCESS_DENIED);
static_assert(error_invalid_drive == ERROR_INVALID_DRIVE);
static_assert(error_sharing_violation == ERROR_SHARING_VIOLATION);
static_assert(error_handle_disk_full == ERROR_HANDLE_DISK_FULL);
static_assert(error_not_supported == ERROR_NOT_SUPPORTED);
static_assert(error_bad_netpath == ERROR_BAD_NETPATH);
static_assert(error_bad_net_name == ERROR_BAD_NET_NAME);
static_assert(error_file_exists == ERROR_FILE_EXISTS);
static_assert(error_invalid_parameter == ERROR_INVALID_PARAMETER);
static_assert(error_disk_full == ERROR_DISK_FULL);
static_assert(error_insufficient_buffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(error_dir_not_empty == ERROR_DIR_NOT_EMPTY);
static_assert(error_already_exists == ERROR_ALREADY_EXISTS);
static_assert(error_more_data == ERROR_MORE_DATA);
static_assert(error_mr_mid_not_found == ERROR_MR_MID_NOT_FOUND);
// mingw-w64's winerror.h (as of version 10) lacks this one; Windows' own defines it as 665.
#ifdef ERROR_FILE_SYSTEM_LIMITATION
static_assert(error_file_system_limitation == ERROR_FILE_SYSTEM_LIMITATION);
#endif

static_assert(reg_none == REG_NONE);
static_assert(reg_sz == REG_SZ);
static_assert(reg_expand_sz == REG_EXPAND_SZ);
static_assert(reg_binary == REG_BINARY);
static_assert(reg_dword == REG_DWORD);
static_assert(reg_multi_sz == REG_MULTI_SZ);

static_assert(key_read_write == (KEY_READ | KEY_WRITE));

static_assert(mb_yesno_iconquestion == (MB_YESNO | MB_ICONQUESTION));
static_assert(mb_ok_iconinformation == (MB_OK | MB_ICONINFORMATION));
static_assert(mb_ok_iconerror == (MB_OK | MB_ICONERROR));
static_assert(idyes == IDYES);

// HWND_BROADCAST is a cast to a pointer, which a constant expression cannot hold; its value is
// documented as 0xFFFF.
static_assert(hwnd_broadcast == 0xFFFF);
static_assert(wm_settingchange == WM_SETTINGCHANGE);
static_assert(smto_abortifhung == SMTO_ABORTIFHUNG);

static_assert(create_no_window == CREATE_NO_WINDOW);
static_assert(create_unicode_environment == CREATE_UNICODE_ENVIRONMENT);
static_assert(startf_usestdhandles == STARTF_USESTDHANDLES);
static_assert(startupinfo_size == sizeof(STARTUPINFOW));
static_assert(invalid_file_attributes == INVALID_FILE_ATTRIBUTES);

// The handle types of processes.h and registry.h.
static_assert(sizeof(Handle) == sizeof(HANDLE));
static_assert(sizeof(KeyHandle) == sizeof(HKEY));
static_assert(invalid_handle == static_cast<Handle>(-1));  // INVALID_HANDLE_VALUE, ((HANDLE)-1)

}  // namespace orvane::win32
