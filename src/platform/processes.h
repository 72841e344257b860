#pragma once
// What starting a detached helper process takes: finding the interpreter, the standard handles,
// CreateProcessW itself and handle closing.

#include <cstdint>
#include <optional>

#include "platform/result.h"
#include "platform/wide_string.h"

namespace orvane {

// An opaque HANDLE. Both 0 and INVALID_HANDLE_VALUE mean "no handle".
using Handle = std::uintptr_t;
inline constexpr Handle null_handle = 0;
inline constexpr Handle invalid_handle = ~Handle{0};
inline bool is_valid_handle(Handle h) { return h != null_handle && h != invalid_handle; }

enum class StdStream { Input, Output, Error };  // STD_INPUT_HANDLE (-10), -11, -12

// The STARTUPINFOW fields that are not left zero.
struct StartupInfo {
  std::uint32_t cb = 0;
  std::uint32_t flags = 0;
  Handle std_input = null_handle;
  Handle std_output = null_handle;
  Handle std_error = null_handle;
};

// One CreateProcessW call. Process and thread security attributes and the environment are always
// NULL.
struct ProcessStart {
  PlatformPath application_name;
  std::u16string command_line;  // without the terminator; passed in a writable buffer
  bool inherit_handles = false;
  std::uint32_t creation_flags = 0;
  std::optional<PlatformPath> current_directory;  // nullopt: NULL, the caller's own
  StartupInfo startup;
};

struct StartedProcess {
  Handle process = null_handle;
  Handle thread = null_handle;
};

class Processes {
 public:
  virtual ~Processes() = default;

  virtual Result<PlatformPath> system_directory() = 0;   // GetSystemDirectoryW
  virtual Result<PlatformPath> windows_directory() = 0;  // GetWindowsDirectoryW

  // GetFileAttributesW; INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when the path cannot be queried.
  virtual std::uint32_t file_attributes(const PlatformPath& path) = 0;

  // GetStdHandle; null_handle or invalid_handle when the process has none.
  virtual Handle std_handle(StdStream stream) = 0;

  // DuplicateHandle(current, h, current, &out, 0, TRUE, DUPLICATE_SAME_ACCESS).
  virtual Result<Handle> duplicate_inheritable(Handle h) = 0;

  // CreateProcessW with the request's parameters.
  virtual Result<StartedProcess> create_process(const ProcessStart& start) = 0;

  virtual void close_handle(Handle h) = 0;
};

}  // namespace orvane
