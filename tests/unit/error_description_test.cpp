#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "fakes/fake_platform.h"
#include "platform/system_messages.h"

namespace orvane {
namespace {

TEST(DescribeError, SystemTextTrimmedWithCode) {
  testing::FakeSystemMessages messages;
  // Every Unicode White_Space character is trimmed; the characters beside its two ranges are kept.
  messages.texts[5] =
      u"Access is denied. \t\n\v\f\r\u0085\u00A0\u1680\u2000\u200A\u2028\u2029\u202F\u205F\u3000";
  EXPECT_EQ(describe_error(OsError::from_code(5), messages), "Access is denied. (os error 5)");
  const std::pair<char16_t, const char*> kept[] = {
      {0x08, "\x08"}, {0x0E, "\x0E"}, {0x1FFF, "\xE1\xBF\xBF"}, {0x200B, "\xE2\x80\x8B"}};
  for (const auto& [unit, utf8] : kept) {
    messages.texts[6] = std::u16string(u"x") + unit;
    EXPECT_EQ(describe_error(OsError::from_code(6), messages), std::string("x") + utf8 + " (os error 6)");
  }
  messages.texts[7] = u"  leading space stays\r\n";
  EXPECT_EQ(describe_error(OsError::from_code(7), messages), "  leading space stays (os error 7)");
}

TEST(DescribeError, FallbacksWhenTheSystemHasNoValidText) {
  testing::FakeSystemMessages messages;
  EXPECT_EQ(describe_error(OsError::from_code(9999), messages),
            "OS Error 9999 (FormatMessageW() returned error 317)");
  messages.texts[42] = std::u16string(u"bad ") + char16_t(0xDC00);
  EXPECT_EQ(describe_error(OsError::from_code(42), messages),
            "OS Error 42 (FormatMessageW() returned invalid UTF-16)");
  EXPECT_EQ(describe_error(OsError::with_text("failed to write whole buffer"), messages),
            "failed to write whole buffer");
}

}  // namespace
}  // namespace orvane
