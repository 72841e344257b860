#include "platform/wide_string.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(ToWide, EncodesAndTerminates) {
  struct Case {
    const char* name;
    std::string text;
    std::u16string units;  // without the terminator
  } cases[] = {
      {"empty", "", u""},
      {"ascii", "Path", u"Path"},
      {"two-byte and three-byte", "\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
      {"emoji becomes a surrogate pair", "\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
      {"inner NUL kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      // Malformed UTF-8: one U+FFFD for each byte that starts no valid sequence, then on.
      {"stray continuation and invalid bytes", "a\x80\xFF" "b", u"a\uFFFD\uFFFD" "b"},
      {"sequence cut by the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
      {"sequence cut by an ASCII byte", "\xC3(", u"\uFFFD("},
      {"overlong, encoded surrogate, above U+10FFFF", "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80",
       std::u16string(9, 0xFFFD)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WideString wide = to_wide(c.text);
    EXPECT_EQ(wide.view(), c.units);
    EXPECT_EQ(wide.size(), c.units.size() + 1);
    EXPECT_EQ(wide.data()[wide.size() - 1], u'\0');
  }
}

TEST(FromWideLossy, ReplacesOnlyUnpairedSurrogates) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string text;
  } cases[] = {
      {"pair", std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {"lone high at end", std::u16string{u'a', 0xD800}, "a\xEF\xBF\xBD"},
      {"lone low", std::u16string{0xDC00, u'b'}, "\xEF\xBF\xBD" "b"},
      {"high before non-low keeps the next unit", std::u16string{0xD800, u'x'}, "\xEF\xBF\xBD" "x"},
      {"high high low", std::u16string{0xD800, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"bmp", u"C:\\Users\\\u00C5sa", "C:\\Users\\\xC3\x85sa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(from_wide_lossy(c.units), c.text);
    EXPECT_EQ(is_valid_utf16(c.units), c.text.find("\xEF\xBF\xBD") == std::string::npos);
  }
}

TEST(FromWideLossy, RoundTripsEveryValidText) {
  const std::u16string samples[] = {u"", u"Orvane Worker", u"\u65E5\u672C\u8A9E;%PATH%",
                                    std::u16string{0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFF}};
  for (const std::u16string& s : samples) EXPECT_EQ(to_wide(from_wide_lossy(s)).view(), s);
}

}  // namespace
}  // namespace orvane
