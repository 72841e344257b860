#pragma once
// Message boxes and the environment-change broadcast: the two calls into the user interface.

#include <cstdint>

#include "platform/wide_string.h"

namespace orvane {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // MessageBoxW(NULL, text, caption, style): blocks until answered; returns the button's id, or
  // 0 / -1 when the box could not be shown.
  virtual int message_box(const WideString& text, const WideString& caption, std::uint32_t style) = 0;
};

class Broadcast {
 public:
  virtual ~Broadcast() = default;

  // SendMessageTimeoutW(window, message, wparam, (LPARAM)text.data(), flags, timeout_ms, &result).
  // The return value and the result are of no interest to any caller.
  virtual void send_message_timeout(std::uintptr_t window, std::uint32_t message,
                                    std::uintptr_t wparam, const WideString& text,
                                    std::uint32_t flags, std::uint32_t timeout_ms) = 0;
};

}  // namespace orvane
