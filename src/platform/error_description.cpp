#include <string>

#include "platform/system_messages.h"
#include "platform/wide_string.h"

namespace orvane {
namespace {

// Unicode White_Space characters that fit in one UTF-16 unit (all of them do).
bool is_white_space(char16_t u) {
  return (u >= 0x09 && u <= 0x0D) || u == 0x20 || u == 0x85 || u == 0xA0 || u == 0x1680 ||
         (u >= 0x2000 && u <= 0x200A) || u == 0x2028 || u == 0x2029 || u == 0x202F ||
         u == 0x205F || u == 0x3000;
}

}  // namespace

std::string describe_error(const OsError& error, SystemMessages& messages) {
  if (!error.has_code()) return error.fixed_text;

  const std::string code = std::to_string(error.code);
  const SystemMessages::Lookup lookup = messages.message_for(error.code);
  if (!lookup.found) {
    return "OS Error " + code + " (FormatMessageW() returned error " +
           std::to_string(lookup.lookup_error) + ")";
  }
  if (!is_valid_utf16(lookup.text)) {
    return "OS Error " + code + " (FormatMessageW() returned invalid UTF-16)";
  }
  std::u16string_view text = lookup.text;
  while (!text.empty() && is_white_space(text.back())) text.remove_suffix(1);
  return from_wide_lossy(text) + " (os error " + code + ")";
}

}  // namespace orvane
