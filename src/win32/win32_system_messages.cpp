#include "win32/win32_system_messages.h"

#include <windows.h>

namespace orvane {

SystemMessages::Lookup Win32SystemMessages::message_for(std::uint32_t code) {
  wchar_t* text = nullptr;
  // Language 0: the system picks (neutral, then the thread's, the user's and the system's
  // language, then US English).
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  Lookup lookup;
  if (length == 0) {
    lookup.lookup_error = GetLastError();
    if (text != nullptr) LocalFree(text);
    return lookup;
  }
  lookup.found = true;
  lookup.text.assign(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  return lookup;
}

}  // namespace orvane
