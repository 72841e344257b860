#include "win32/win32_process.h"

#include <windows.h>

#include "win32/win32_support.h"

namespace orvane {
namespace {

// The longest path Windows knows is 32767 units; a buffer twice that size that is still full
// means the call does not behave as documented, and the loop gives up.
constexpr DWORD module_path_limit = 65536;

// Declared here rather than taken from shlobj.h and objbase.h: the two functions are looked up
// at run time, so that the program's import table names no shell or COM DLL.
// FOLDERID_LocalAppData, {F1B32785-6FBA-4FCF-9D55-7B8E7F157091}.
constexpr GUID folderid_local_app_data{
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr DWORD kf_flag_dont_verify = 0x00004000;
using GetKnownFolderPathFn = HRESULT(WINAPI*)(const GUID& folder, DWORD flags, HANDLE token,
                                              PWSTR* path);
using TaskMemFreeFn = void(WINAPI*)(void* block);

template <typename Fn>
Fn system_function(const wchar_t* dll, const char* name) {
  // From the system folder only, whatever the search path: these are loaded long after start,
  // and the folder the program was run from may hold anything.
  const HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::optional<std::u16string> Win32Process::command_line() {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(line));
}

Result<PlatformPath> Win32Process::running_executable_path() {
  std::u16string buffer;
  for (DWORD capacity = 512;; capacity *= 2) {
    buffer.assign(capacity, u'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer.data()), capacity);
    if (length == 0) return win32::last_error();
    // A path that does not fit fills the buffer: Windows XP says nothing more, later versions
    // add ERROR_INSUFFICIENT_BUFFER, and Wine leaves out the terminator as well.
    if (length < capacity && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(length);
      return buffer;
    }
    if (capacity >= module_path_limit) return OsError::from_code(ERROR_INSUFFICIENT_BUFFER);
  }
}

std::optional<std::u16string> Win32Process::environment_variable(std::u16string_view name) {
  const WideString wide_name{std::u16string(name)};
  std::u16string buffer;
  DWORD capacity = 256;
  for (;;) {
    buffer.assign(capacity, u'\0');
    // An empty value and a missing one both give length 0; only the error tells them apart.
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(
        win32::wide(wide_name), reinterpret_cast<wchar_t*>(buffer.data()), capacity);
    if (length == 0) {
      if (GetLastError() != ERROR_SUCCESS) return std::nullopt;  // ERROR_ENVVAR_NOT_FOUND
      return std::u16string();
    }
    // Too small: the length asked for counts the terminator. The value may grow again before
    // the next call, so this repeats until it fits.
    if (length >= capacity) {
      capacity = length;
      continue;
    }
    buffer.resize(length);
    return buffer;
  }
}

std::optional<PlatformPath> Win32Process::known_local_app_data() {
  // Both DLLs stay loaded until the process ends: the shell may keep state in them, and the run
  // is short. KF_FLAG_DONT_VERIFY: the place is what is asked for; a folder that does not exist
  // yet is made by the install like any other, and a removal still finds the registration.
  const auto get_path = system_function<GetKnownFolderPathFn>(L"shell32.dll", "SHGetKnownFolderPath");
  const auto free_path = system_function<TaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
  if (get_path == nullptr || free_path == nullptr) return std::nullopt;
  PWSTR path = nullptr;
  const HRESULT hr = get_path(folderid_local_app_data, kf_flag_dont_verify, nullptr, &path);
  std::optional<PlatformPath> folder;
  if (SUCCEEDED(hr) && path != nullptr) folder = PlatformPath(reinterpret_cast<const char16_t*>(path));
  free_path(path);  // documented as the caller's duty whether the call succeeded or not
  return folder;
}

void Win32Process::exit_process(std::uint32_t status) { ExitProcess(status); }

}  // namespace orvane
