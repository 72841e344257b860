#pragma once
// Text inside the program is UTF-8; the platform speaks NUL-terminated UTF-16. These are the only
// conversions between the two.

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane {

// A path in the platform's own form: UTF-16 units, possibly holding unpaired surrogates. Passed to
// platform calls unchanged.
using PlatformPath = std::u16string;

// An owned UTF-16 text followed by exactly one terminating 0 unit, made for one platform call.
class WideString {
 public:
  // `units` must not hold the terminator; it is added here.
  explicit WideString(std::u16string units) : units_(std::move(units)) { units_.push_back(u'\0'); }

  const char16_t* data() const { return units_.data(); }
  // Number of units including the terminating 0 unit.
  std::size_t size() const { return units_.size(); }
  // The units without the terminator.
  std::u16string_view view() const { return {units_.data(), units_.size() - 1}; }

 private:
  std::u16string units_;
};

// UTF-8 text to UTF-16 plus one 0 unit. A 0 character inside the text stays a 0 unit. Input bytes
// that are not valid UTF-8 (never produced inside the program) each become U+FFFD.
WideString to_wide(std::string_view text);

// The same conversion without the terminator, for building paths and command lines.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16 units to UTF-8; every unpaired surrogate becomes U+FFFD. Never fails.
std::string from_wide_lossy(std::u16string_view units);

// True when every surrogate unit is part of a high-low pair.
bool is_valid_utf16(std::u16string_view units);

}  // namespace orvane
