#pragma once
// Message boxes and the environment-change broadcast through user32.

#include "platform/dialogs.h"

namespace orvane {

class Win32Dialogs final : public Dialogs {
 public:
  int message_box(const WideString& text, const WideString& caption, std::uint32_t style) override;
};

class Win32Broadcast final : public Broadcast {
 public:
  void send_message_timeout(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam,
                            const WideString& text, std::uint32_t flags,
                            std::uint32_t timeout_ms) override;
};

}  // namespace orvane
