// The benchmark's floor: the least a Windows program can do to leave the same result on disk and in
// the registry as a silent install or removal of Orvane Worker. Plain Win32, no checks, no error
// handling, no text processing beyond one append and one cut: it shows what the platform itself
// costs. It writes the same two files and the same registry values, and on removal deletes them
// and starts the same deferred folder removal; it reads no command line beyond telling install
// ("/S") from removal ("--uninstall"). Built with FLOOR_BROADCAST it also sends the same
// WM_SETTINGCHANGE "Environment" broadcast after the Path write, which costs user32 under Wine.

#include <windows.h>

#include <cwchar>

extern "C" const unsigned char floor_payload_begin[];
extern "C" const unsigned char floor_payload_end[];

namespace {

constexpr const wchar_t* uninstall_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker";
wchar_t folder[MAX_PATH];
wchar_t path_value[8192];
wchar_t scratch[8192];

void set_string(HKEY key, const wchar_t* name, DWORD type, const wchar_t* text) {
  RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
}

void set_dword(HKEY key, const wchar_t* name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

DWORD read_path(HKEY key) {
  DWORD size = sizeof path_value - sizeof(wchar_t);
  path_value[0] = 0;
  if (RegQueryValueExW(key, L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path_value), &size) != ERROR_SUCCESS)
    return 0;
  path_value[size / sizeof(wchar_t)] = 0;
  return size;
}

void broadcast() {
#if defined(FLOOR_BROADCAST)
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                      SMTO_ABORTIFHUNG, 3000, &result);
#endif
}

void install() {
  wchar_t base[MAX_PATH];
  GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  swprintf(scratch, 8192, L"%ls\\Programs", base);
  CreateDirectoryW(scratch, nullptr);
  CreateDirectoryW(folder, nullptr);

  swprintf(scratch, 8192, L"%ls\\orvane-worker.exe", folder);
  HANDLE file = CreateFileW(scratch, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, floor_payload_begin, static_cast<DWORD>(floor_payload_end - floor_payload_begin), &written, nullptr);
  CloseHandle(file);

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  swprintf(scratch, 8192, L"%ls\\uninstall.exe", folder);
  CopyFileW(self, scratch, FALSE);

  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (read_path(key) > sizeof(wchar_t))
    swprintf(scratch, 8192, L"%ls;%ls", path_value, folder);
  else
    swprintf(scratch, 8192, L"%ls", folder);
  set_string(key, L"Path", REG_EXPAND_SZ, scratch);
  RegCloseKey(key);
  broadcast();

  RegCreateKeyExW(HKEY_CURRENT_USER, uninstall_key, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  set_string(key, L"DisplayName", REG_SZ, L"Orvane Worker");
  set_string(key, L"DisplayVersion", REG_SZ, L"0.2.3");
  set_string(key, L"Publisher", REG_SZ, L"Pellinor Private Limited");
  set_string(key, L"InstallLocation", REG_SZ, folder);
  swprintf(scratch, 8192, L"%ls\\orvane-worker.exe", folder);
  set_string(key, L"DisplayIcon", REG_SZ, scratch);
  swprintf(scratch, 8192, L"\"%ls\\uninstall.exe\" --uninstall", folder);
  set_string(key, L"UninstallString", REG_SZ, scratch);
  swprintf(scratch, 8192, L"\"%ls\\uninstall.exe\" --uninstall --silent", folder);
  set_string(key, L"QuietUninstallString", REG_SZ, scratch);
  set_dword(key, L"NoModify", 1);
  set_dword(key, L"NoRepair", 1);
  RegCloseKey(key);
}

void remove() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
    read_path(key);
    // The install appended ";folder" or wrote the folder alone: cut it off again.
    const size_t length = std::wcslen(path_value), cut = std::wcslen(folder);
    if (length >= cut && std::wcscmp(path_value + length - cut, folder) == 0)
      path_value[length - cut - (length > cut ? 1 : 0)] = 0;
    set_string(key, L"Path", REG_EXPAND_SZ, path_value);
    RegCloseKey(key);
    broadcast();
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, uninstall_key);
  swprintf(scratch, 8192, L"%ls\\orvane-worker.exe", folder);
  DeleteFileW(scratch);

  wchar_t cmd[MAX_PATH];
  GetSystemDirectoryW(cmd, MAX_PATH);
  std::wcscat(cmd, L"\\cmd.exe");
  swprintf(scratch, 8192, L"\"cmd\" /D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q \"%ls\"", folder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(cmd, scratch, nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                     nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  wchar_t base[MAX_PATH];
  GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  swprintf(folder, MAX_PATH, L"%ls\\Programs\\Orvane Worker", base);
  if (std::wcsstr(command_line, L"--uninstall") != nullptr)
    remove();
  else
    install();
  return 0;
}
