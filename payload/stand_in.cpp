// orvane-worker.exe as carried when the build is given no product executable: a small console
// program that names itself and the version it stands in for. It has none of the product's
// functions; it answers --help and --version, stays running on --sleep (for tests that need the
// installed program to be in use) and declines --serve.

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "product/product_constants.h"

namespace {

constexpr std::string_view name_and_version = ORVANE_DISPLAY_NAME " " ORVANE_VERSION;

constexpr std::string_view help_text =
    ORVANE_DISPLAY_NAME " " ORVANE_VERSION " (stand-in)\r\n"
    "\r\n"
    "This program is a stand-in for the product's own build of " ORVANE_PAYLOAD_FILE_NAME ".\r\n"
    "It was carried by a setup program built without the product executable and does none\r\n"
    "of the product's work.\r\n"
    "\r\n"
    "Usage: orvane-worker [--help | --version | --sleep <seconds> | --serve]\r\n"
    "  --help             show this text\r\n"
    "  --version          show the name and version\r\n"
    "  --sleep <seconds>  stay running for that many seconds, then exit\r\n"
    "  --serve            (the product serves its web page; this stand-in does not)\r\n";

void write_to(DWORD which, std::string_view text) {
  const HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0)
      return;
    text.remove_prefix(written);
  }
}

void say(std::string_view text) { write_to(STD_OUTPUT_HANDLE, text); }
void complain(std::string_view text) { write_to(STD_ERROR_HANDLE, text); }

// A whole number of seconds, 0 to 86400; nothing else.
bool parse_seconds(std::wstring_view text, std::uint32_t& seconds) {
  if (text.empty() || text.size() > 5) return false;
  std::uint32_t value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - L'0');
  }
  if (value > 86400) return false;
  seconds = value;
  return true;
}

int usage_error(std::string_view what) {
  complain("orvane-worker: ");
  complain(what);
  complain("\r\nRun orvane-worker --help for usage.\r\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    say(help_text);
    return 0;
  }
  const std::wstring_view option = argv[1];
  if (option == L"--help" || option == L"-h" || option == L"/?") {
    say(help_text);
    return 0;
  }
  if (option == L"--version") {
    say(name_and_version);
    say(" (stand-in)\r\n");
    return 0;
  }
  if (option == L"--serve") {
    say("orvane-worker: this stand-in does not serve; the product's own build does.\r\n");
    return 0;
  }
  if (option == L"--sleep") {
    std::uint32_t seconds = 0;
    if (argc < 3 || !parse_seconds(argv[2], seconds))
      return usage_error("--sleep needs a whole number of seconds (0 to 86400)");
    Sleep(seconds * 1000);
    return 0;
  }
  return usage_error("unknown option");
}
