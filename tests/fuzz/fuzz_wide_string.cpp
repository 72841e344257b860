// to_wide, utf8_to_utf16, from_wide_lossy and is_valid_utf16 on any input, read both as UTF-16
// units (the platform's side) and as bytes of text (the program's side).

#include <algorithm>

#include "fuzz_support.h"
#include "platform/wide_string.h"

namespace orvane::fuzz {
namespace {

void check_units(std::u16string_view units) {
  // Whatever the platform hands over becomes well-formed text ...
  const std::string text = from_wide_lossy(units);
  FUZZ_CHECK(is_well_formed_utf8(text));

  // ... which is the units themselves, each unpaired surrogate shown as U+FFFD ...
  const std::u16string expected = with_unpaired_replaced(units);
  FUZZ_CHECK(utf8_to_utf16(text) == expected);
  FUZZ_CHECK(is_valid_utf16(units) == (expected == units));
  FUZZ_CHECK(is_valid_utf16(expected));

  // ... so that valid UTF-16 survives the round trip whole, and a second pass changes nothing.
  if (is_valid_utf16(units)) FUZZ_CHECK(utf8_to_utf16(text) == units);
  FUZZ_CHECK(from_wide_lossy(expected) == text);
}

void check_text(std::string_view text) {
  const std::u16string units = utf8_to_utf16(text);
  const WideString wide = to_wide(text);

  // The units and then exactly one terminating 0 unit.
  FUZZ_CHECK(wide.size() == units.size() + 1);
  FUZZ_CHECK(wide.data()[wide.size() - 1] == u'\0');
  FUZZ_CHECK(wide.view() == units);

  // Nothing is cut at a 0 character, and no 0 unit is made up.
  FUZZ_CHECK(std::count(units.begin(), units.end(), u'\0') == std::count(text.begin(), text.end(), '\0'));

  // Never a lone surrogate, whatever the bytes; well-formed text comes back byte for byte.
  FUZZ_CHECK(is_valid_utf16(units));
  const std::string back = from_wide_lossy(units);
  FUZZ_CHECK(is_well_formed_utf8(back));
  if (is_well_formed_utf8(text)) {
    FUZZ_CHECK(back == text);
    FUZZ_CHECK(units.size() == utf16_length_of_well_formed(text));
  } else {
    FUZZ_CHECK(back != text);
  }
  FUZZ_CHECK(utf8_to_utf16(back) == units);
}

}  // namespace
}  // namespace orvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  using namespace orvane::fuzz;
  check_units(units_of(data, size));
  check_text(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
