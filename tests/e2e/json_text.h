// UTF-16 text as a JSON string literal: printable ASCII as it is, everything else as \u escapes,
// so that the reader gets back the exact UTF-16 units (lone surrogates included).
#pragma once

#include <cstdio>
#include <string>

inline std::string json_string(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out + "\"";
}
