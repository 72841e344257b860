#pragma once
// What the fuzz targets share: a check that stops the run with a message (libFuzzer keeps the
// input that caused it), the reading of fuzz input as UTF-16 units, and independent models of
// well-formed UTF-8 and UTF-16 to check the program's conversions against.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

namespace orvane::fuzz {

// The input as little-endian 16-bit units; an odd last byte is dropped.
inline std::u16string units_of(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  units.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return units;
}

// The units cut at every 0 unit (so the pieces hold none); always at least one piece.
inline std::vector<std::u16string> split_at_zero(std::u16string_view units) {
  std::vector<std::u16string> pieces(1);
  for (char16_t u : units) {
    if (u == 0) {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(u);
    }
  }
  return pieces;
}

inline bool is_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }
inline bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The units with every surrogate that is not part of a high-low pair replaced by U+FFFD.
inline std::u16string with_unpaired_replaced(std::u16string_view units) {
  std::u16string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (is_high(units[i]) && i + 1 < units.size() && is_low(units[i + 1])) {
      out.push_back(units[i]);
      out.push_back(units[++i]);
    } else {
      out.push_back(is_surrogate(units[i]) ? char16_t(0xFFFD) : units[i]);
    }
  }
  return out;
}

// Well-formed UTF-8 after the Unicode standard's table of well-formed byte sequences: no
// overlong form, no encoded surrogate, nothing above U+10FFFF, nothing cut short.
inline bool is_well_formed_utf8(std::string_view text) {
  const auto in = [](unsigned char b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; };
  for (std::size_t i = 0; i < text.size();) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    const auto at = [&](std::size_t k) -> unsigned char {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    if (b0 <= 0x7F) {
      i += 1;
    } else if (in(b0, 0xC2, 0xDF) && in(at(1), 0x80, 0xBF)) {
      i += 2;
    } else if (((b0 == 0xE0 && in(at(1), 0xA0, 0xBF)) || (in(b0, 0xE1, 0xEC) && in(at(1), 0x80, 0xBF)) ||
                (b0 == 0xED && in(at(1), 0x80, 0x9F)) || (in(b0, 0xEE, 0xEF) && in(at(1), 0x80, 0xBF))) &&
               in(at(2), 0x80, 0xBF)) {
      i += 3;
    } else if (((b0 == 0xF0 && in(at(1), 0x90, 0xBF)) || (in(b0, 0xF1, 0xF3) && in(at(1), 0x80, 0xBF)) ||
                (b0 == 0xF4 && in(at(1), 0x80, 0x8F))) &&
               in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF)) {
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

// The number of UTF-16 units that well-formed UTF-8 text takes: one per character, two for a
// character above U+FFFF (whose lead byte is F0 to F4).
inline std::size_t utf16_length_of_well_formed(std::string_view text) {
  std::size_t units = 0;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

}  // namespace orvane::fuzz
