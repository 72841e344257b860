#include "platform/wide_string.h"

namespace orvane {
namespace {

constexpr char32_t replacement_character = 0xFFFD;

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i. Malformed input (overlong forms, encoded
// surrogates, truncated or stray bytes, values above U+10FFFF) gives U+FFFD for one byte.
char32_t next_code_point(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return replacement_character;
  }
  if (i + length > text.size()) {
    ++i;
    return replacement_character;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return replacement_character;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return replacement_character;
  }
  i += length;
  return c;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) append_utf16(out, next_code_point(text, i));
  return out;
}

WideString to_wide(std::string_view text) { return WideString(utf8_to_utf16(text)); }

std::string from_wide_lossy(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (is_high_surrogate(u) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      append_utf8(out, 0x10000 + ((char32_t{u} & 0x3FF) << 10) + (char32_t{units[i + 1]} & 0x3FF));
      ++i;
    } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
      append_utf8(out, replacement_character);
    } else {
      append_utf8(out, u);
    }
  }
  return out;
}

bool is_valid_utf16(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (is_high_surrogate(units[i]) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      ++i;
    } else if (is_high_surrogate(units[i]) || is_low_surrogate(units[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace orvane
