// Changes registry contents exactly as told, for preparing a test's starting state.
//
//   reg_set.exe set <KEY> <name> <type> <hexdata>  RegSetValueExW with exactly these bytes ("-" is
//                                                  none); KEY is created when missing
//   reg_set.exe delete-value <KEY> <name>
//
// KEY is HKCU\... or HKLM\.... Prints "status <n>" and exits with 0 on success, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool split_key(const std::wstring& text, HKEY* root, std::wstring* subkey) {
  size_t slash = text.find(L'\\');
  if (slash == std::wstring::npos) return false;
  std::wstring head = text.substr(0, slash);
  *subkey = text.substr(slash + 1);
  if (_wcsicmp(head.c_str(), L"HKCU") == 0) {
    *root = HKEY_CURRENT_USER;
  } else if (_wcsicmp(head.c_str(), L"HKLM") == 0) {
    *root = HKEY_LOCAL_MACHINE;
  } else {
    return false;
  }
  return true;
}

bool parse_hex(const std::wstring& text, std::vector<unsigned char>* bytes) {
  if (text == L"-") return true;
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (swscanf(text.substr(i, 2).c_str(), L"%2x", &value) != 1) return false;
    bytes->push_back(static_cast<unsigned char>(value));
  }
  return true;
}

int report(LONG status) {
  std::printf("status %ld\n", status);
  return status == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: reg_set set KEY NAME TYPE HEX | delete-value KEY NAME\n");
    return 64;
  }
  std::wstring command = argv[1];
  HKEY root = nullptr;
  std::wstring subkey;
  if (!split_key(argv[2], &root, &subkey)) return 64;

  if (command == L"set" && argc == 6) {
    std::vector<unsigned char> data;
    if (!parse_hex(argv[5], &data)) return 64;
    // A non-NUL unit right after the data, so that Wine stores a string without a terminator as
    // it is instead of adding one.
    std::vector<unsigned char> buffer = data;
    buffer.push_back(0x41);
    buffer.push_back(0x41);
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return report(status);
    status = RegSetValueExW(key, argv[3], 0, static_cast<DWORD>(_wtoi(argv[4])), buffer.data(),
                            static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return report(status);
  }
  if (command == L"delete-value" && argc == 4) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return report(status);
    status = RegDeleteValueW(key, argv[3]);
    RegCloseKey(key);
    return report(status);
  }
  return 64;
}
