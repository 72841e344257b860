#pragma once
// The one place a platform error becomes text.

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace orvane {

class SystemMessages {
 public:
  virtual ~SystemMessages() = default;

  struct Lookup {
    bool found = false;
    std::u16string text;             // the message's units, when found
    std::uint32_t lookup_error = 0;  // GetLastError of the failed lookup, when not found
  };

  // FormatMessageW(FROM_SYSTEM | IGNORE_INSERTS, NULL, code, 0, ...).
  virtual Lookup message_for(std::uint32_t code) = 0;
};

// The error's description: the system text with trailing white space removed + " (os error N)";
// or one of the two fallback texts when the system has no valid text; or the failure's fixed text.
std::string describe_error(const OsError& error, SystemMessages& messages);

}  // namespace orvane
