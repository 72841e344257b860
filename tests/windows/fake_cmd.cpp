// A stand-in command interpreter planted where no program should look for one. When started it
// leaves planted-cmd-ran.txt beside itself, holding its command line (UTF-16LE), and exits 0.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t own[4096];
  DWORD length = GetModuleFileNameW(nullptr, own, 4096);
  std::wstring marker(own, length);
  marker = marker.substr(0, marker.find_last_of(L"\\/") + 1) + L"planted-cmd-ran.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
  }
  return 0;
}
