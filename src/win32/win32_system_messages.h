#pragma once
// Error texts from the system's message table.

#include "platform/system_messages.h"

namespace orvane {

class Win32SystemMessages final : public SystemMessages {
 public:
  Lookup message_for(std::uint32_t code) override;
};

}  // namespace orvane
