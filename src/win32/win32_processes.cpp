#include "win32/win32_processes.h"

#include <windows.h>

#include "win32/win32_support.h"

namespace orvane {
namespace {

HANDLE to_handle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle from_handle(HANDLE h) { return reinterpret_cast<Handle>(h); }

// GetSystemDirectoryW and GetWindowsDirectoryW: the length without the terminator when the path
// fits, the size needed (with it) when it does not, 0 on failure.
template <typename Query>
Result<PlatformPath> query_folder(Query query) {
  std::u16string buffer;
  UINT capacity = MAX_PATH;
  for (;;) {
    buffer.assign(capacity, u'\0');
    const UINT length = query(reinterpret_cast<wchar_t*>(buffer.data()), capacity);
    if (length == 0) return win32::last_error();
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
    capacity = length > capacity ? length : capacity * 2;
  }
}

DWORD std_handle_id(StdStream stream) {
  switch (stream) {
    case StdStream::Input:
      return STD_INPUT_HANDLE;
    case StdStream::Output:
      return STD_OUTPUT_HANDLE;
    case StdStream::Error:
      break;
  }
  return STD_ERROR_HANDLE;
}

}  // namespace

Result<PlatformPath> Win32Processes::system_directory() {
  return query_folder([](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
}

Result<PlatformPath> Win32Processes::windows_directory() {
  return query_folder(
      [](wchar_t* buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); });
}

std::uint32_t Win32Processes::file_attributes(const PlatformPath& path) {
  return GetFileAttributesW(win32::wide(WideString(path)));
}

Handle Win32Processes::std_handle(StdStream stream) {
  return from_handle(GetStdHandle(std_handle_id(stream)));
}

Result<Handle> Win32Processes::duplicate_inheritable(Handle h) {
  HANDLE duplicate = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, to_handle(h), self, &duplicate, 0, TRUE, DUPLICATE_SAME_ACCESS))
    return win32::last_error();
  return from_handle(duplicate);
}

Result<StartedProcess> Win32Processes::create_process(const ProcessStart& start) {
  STARTUPINFOW startup{};
  startup.cb = start.startup.cb;  // sizeof(STARTUPINFOW), checked in win32_codes_check.cpp
  startup.dwFlags = start.startup.flags;
  startup.hStdInput = to_handle(start.startup.std_input);
  startup.hStdOutput = to_handle(start.startup.std_output);
  startup.hStdError = to_handle(start.startup.std_error);

  const WideString application(start.application_name);
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::u16string command_line = start.command_line;
  command_line.push_back(u'\0');
  const std::optional<WideString> directory =
      start.current_directory ? std::optional<WideString>(WideString(*start.current_directory))
                              : std::nullopt;

  PROCESS_INFORMATION started{};
  if (!CreateProcessW(win32::wide(application), reinterpret_cast<wchar_t*>(command_line.data()),
                      nullptr, nullptr, start.inherit_handles ? TRUE : FALSE, start.creation_flags,
                      nullptr, directory ? win32::wide(*directory) : nullptr, &startup, &started))
    return win32::last_error();
  return StartedProcess{from_handle(started.hProcess), from_handle(started.hThread)};
}

void Win32Processes::close_handle(Handle h) { CloseHandle(to_handle(h)); }

}  // namespace orvane
