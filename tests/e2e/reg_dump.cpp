// Prints registry contents exactly: types as numbers, names and data as hex of their raw bytes
// (names as UTF-16LE), so that nothing is lost to a text rendering.
//
//   reg_dump.exe value <KEY> <name>   ->  "value <type> <hexdata>"  or  "missing <status>"
//   reg_dump.exe key <KEY>            ->  "value <hexname> <type> <hexdata>" per value,
//                                         "subkey <hexname>" per subkey;  or "missing <status>"
//   reg_dump.exe tree <KEY>           ->  "k <hexpath>" per key below KEY (KEY itself is ""),
//                                         "v <hexpath> <hexname> <type> <hexdata>" per value
//
// KEY is HKCU\..., HKLM\... or HKU\... (the bare root name selects the root itself). Exit status
// 0, or 1 when KEY is missing, 64 on bad usage.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string hex(const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size * 2 + 1);
  for (size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out.empty() ? "-" : out;
}

std::string hex(const std::wstring& text) { return hex(text.data(), text.size() * sizeof(wchar_t)); }

bool split_key(const std::wstring& text, HKEY* root, std::wstring* subkey) {
  std::wstring head = text.substr(0, text.find(L'\\'));
  *subkey = head.size() < text.size() ? text.substr(head.size() + 1) : L"";
  if (_wcsicmp(head.c_str(), L"HKCU") == 0) {
    *root = HKEY_CURRENT_USER;
  } else if (_wcsicmp(head.c_str(), L"HKLM") == 0) {
    *root = HKEY_LOCAL_MACHINE;
  } else if (_wcsicmp(head.c_str(), L"HKU") == 0) {
    *root = HKEY_USERS;
  } else {
    return false;
  }
  return true;
}

struct Value {
  std::wstring name;
  DWORD type;
  std::vector<unsigned char> data;
};

// All values and subkey names of an open key, read with buffers sized from RegQueryInfoKeyW and
// grown on ERROR_MORE_DATA.
void read_key(HKEY key, std::vector<Value>* values, std::vector<std::wstring>* subkeys) {
  DWORD max_subkey = 0, max_name = 0, max_data = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &max_subkey, nullptr, nullptr,
                   &max_name, &max_data, nullptr, nullptr);
  for (DWORD index = 0;; ++index) {
    std::wstring name(max_name + 2, L'\0');
    std::vector<unsigned char> data(max_data + 2);
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG status = RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type, data.data(),
                                &data_size);
    if (status == ERROR_MORE_DATA) {
      max_name = max_name * 2 + 256;
      max_data = max_data * 2 + 256;
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    name.resize(name_size);
    data.resize(data_size);
    values->push_back({name, type, data});
  }
  for (DWORD index = 0;; ++index) {
    std::wstring name(max_subkey + 2, L'\0');
    DWORD name_size = static_cast<DWORD>(name.size());
    LONG status = RegEnumKeyExW(key, index, name.data(), &name_size, nullptr, nullptr, nullptr,
                                nullptr);
    if (status == ERROR_MORE_DATA) {
      max_subkey = max_subkey * 2 + 256;
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    name.resize(name_size);
    subkeys->push_back(name);
  }
}

void print_tree(HKEY key, const std::wstring& path) {
  std::vector<Value> values;
  std::vector<std::wstring> subkeys;
  read_key(key, &values, &subkeys);
  std::printf("k %s\n", hex(path).c_str());
  for (const Value& v : values) {
    std::printf("v %s %s %lu %s\n", hex(path).c_str(), hex(v.name).c_str(), v.type,
                hex(v.data.data(), v.data.size()).c_str());
  }
  for (const std::wstring& name : subkeys) {
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
      std::printf("k %s\n", hex(path.empty() ? name : path + L"\\" + name).c_str());
      continue;
    }
    print_tree(child, path.empty() ? name : path + L"\\" + name);
    RegCloseKey(child);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: reg_dump value KEY NAME | key KEY | tree KEY\n");
    return 64;
  }
  std::wstring command = argv[1];
  HKEY root = nullptr;
  std::wstring subkey;
  if (!split_key(argv[2], &root, &subkey)) return 64;

  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(root, subkey.empty() ? nullptr : subkey.c_str(), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    std::printf("missing %ld\n", status);
    return 1;
  }
  if (command == L"value" && argc == 4) {
    DWORD type = 0, size = 0;
    status = RegQueryValueExW(key, argv[3], nullptr, &type, nullptr, &size);
    std::vector<unsigned char> data(size + 2);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      size = static_cast<DWORD>(data.size());
      status = RegQueryValueExW(key, argv[3], nullptr, &type, data.data(), &size);
      if (status != ERROR_MORE_DATA) break;
      data.resize(size + 2);
    }
    if (status != ERROR_SUCCESS) {
      std::printf("missing %ld\n", status);
    } else {
      std::printf("value %lu %s\n", type, hex(data.data(), size).c_str());
    }
  } else if (command == L"key") {
    std::vector<Value> values;
    std::vector<std::wstring> subkeys;
    read_key(key, &values, &subkeys);
    for (const Value& v : values) {
      std::printf("value %s %lu %s\n", hex(v.name).c_str(), v.type,
                  hex(v.data.data(), v.data.size()).c_str());
    }
    for (const std::wstring& name : subkeys) std::printf("subkey %s\n", hex(name).c_str());
  } else if (command == L"tree") {
    print_tree(key, L"");
  } else {
    RegCloseKey(key);
    return 64;
  }
  RegCloseKey(key);
  return 0;
}
