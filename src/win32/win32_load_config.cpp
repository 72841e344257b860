// The image's load configuration (IMAGE_LOAD_CONFIG_DIRECTORY64), found by the linker under the
// name _load_config_used and named in the PE header's load configuration directory. Its one
// purpose here: DependentLoadFlags, with which Windows 10 1607 and later resolve the program's
// static imports (and theirs) from the system folder only, never from the program's own folder.
// mingw-w64's runtime brings no load configuration of its own; one that did would clash with
// this definition at link time.

#include <windows.h>

#include <cstddef>

namespace {

// mingw-w64's winnt.h ends the structure at SEHandlerCount and still calls DependentLoadFlags
// "Reserved1"; the field is where Windows' own headers put it.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E);
static_assert(sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64) == 0x70);

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 load_config() {
  IMAGE_LOAD_CONFIG_DIRECTORY64 config{};  // no security cookie, SEH table or Control Flow Guard
  config.Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64);
  config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;  // DependentLoadFlags
  return config;
}

}  // namespace

extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used;
__attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = load_config();
}
