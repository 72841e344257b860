#include "platform/win32_process.h"

#include <windows.h>

#include "platform/win32_support.h"

namespace orvane {
namespace {

// The longest path Windows knows is 32767 units; a buffer twice that size that is still full
// means the call does not behave as documented, and the loop gives up.
constexpr DWORD module_path_limit = 65536;

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

void Win32Process::exit_process(std::uint32_t status) { ExitProcess(status); }

}  // namespace orvane
