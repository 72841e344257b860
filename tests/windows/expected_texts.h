#pragma once
// What the setup program shows and writes, spelled out here rather than taken from its code, so
// that a change there shows up as a failure here.

#include <string>

namespace kit {

inline constexpr wchar_t caption[] = L"Orvane Worker setup";
inline constexpr wchar_t payload_name[] = L"orvane-worker.exe";
inline constexpr wchar_t uninstaller_name[] = L"uninstall.exe";
inline constexpr wchar_t removal_question[] =
    L"Remove Orvane Worker from this computer?\r\n\r\n"
    L"Your settings and keys (in your user folder) are kept.";
inline constexpr wchar_t removed_message[] = L"Orvane Worker was removed.";

inline std::wstring install_question(const std::wstring& folder) {
  return L"Install Orvane Worker 0.2.3 for your user account?\r\n\r\n"
         L"Publisher: Pellinor Private Limited\r\n"
         L"Location: " + folder + L"\r\n\r\n"
         L"No administrator rights are needed.";
}

inline std::wstring installed_message(const std::wstring& folder) {
  return L"Orvane Worker 0.2.3 is installed in:\r\n" + folder + L"\r\n\r\n"
         L"Open a new terminal (PowerShell or Command Prompt) and run:\r\n\r\n"
         L"  orvane-worker --help\r\n\r\n"
         L"To start its web page: orvane-worker --serve";
}

inline std::wstring failure_message(const std::wstring& error) {
  return L"Setup could not finish.\r\n\r\n" + error;
}

}  // namespace kit
