#include "win32/win32_dialogs.h"

#include <windows.h>

#include "win32/win32_support.h"

namespace orvane {

int Win32Dialogs::message_box(const WideString& text, const WideString& caption,
                              std::uint32_t style) {
  return MessageBoxW(nullptr, win32::wide(text), win32::wide(caption), style);
}

void Win32Broadcast::send_message_timeout(std::uintptr_t window, std::uint32_t message,
                                          std::uintptr_t wparam, const WideString& text,
                                          std::uint32_t flags, std::uint32_t timeout_ms) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(reinterpret_cast<HWND>(window), message, wparam,
                      reinterpret_cast<LPARAM>(win32::wide(text)), flags, timeout_ms, &result);
}

}  // namespace orvane
