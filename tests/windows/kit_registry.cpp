#include "kit_registry.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace kit {
namespace {

struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle != nullptr) RegCloseKey(handle);
  }
};

LONG open(const std::wstring& key, REGSAM access, Key* out, HKEY root = HKEY_CURRENT_USER) {
  return RegOpenKeyExW(root, key.empty() ? nullptr : key.c_str(), 0, access, &out->handle);
}

// All values and subkey names of an open key, with buffers grown until they fit.
void read_open_key(HKEY key, KeyContents* contents) {
  DWORD max_subkey = 0, max_name = 0, max_data = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &max_subkey, nullptr, nullptr,
                   &max_name, &max_data, nullptr, nullptr);
  for (DWORD index = 0;;) {
    std::wstring name(max_name + 2, L'\0');
    Bytes data(max_data + 2);
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status =
        RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type, data.data(), &data_size);
    if (status == ERROR_MORE_DATA) {
      max_name = max_name * 2 + 256;
      max_data = max_data * 2 + 256;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    name.resize(name_size);
    data.resize(data_size);
    contents->values.push_back({name, {type, data}});
    ++index;
  }
  for (DWORD index = 0;;) {
    std::wstring name(max_subkey + 2, L'\0');
    DWORD name_size = static_cast<DWORD>(name.size());
    const LONG status =
        RegEnumKeyExW(key, index, name.data(), &name_size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {
      max_subkey = max_subkey * 2 + 256;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    name.resize(name_size);
    contents->subkeys.push_back(name);
    ++index;
  }
}

void read_subtree(HKEY key, const std::wstring& path, Tree* tree) {
  KeyContents contents;
  read_open_key(key, &contents);
  tree->push_back({path, contents.values});
  for (const std::wstring& name : contents.subkeys) {
    Key child;
    const std::wstring child_path = path.empty() ? name : path + L"\\" + name;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &child.handle) != ERROR_SUCCESS) {
      tree->push_back({child_path, {}});
      continue;
    }
    read_subtree(child.handle, child_path, tree);
  }
}

std::vector<std::pair<std::wstring, std::vector<NamedValue>>> sorted(const Tree& tree) {
  std::vector<std::pair<std::wstring, std::vector<NamedValue>>> out;
  for (const TreeKey& key : tree) {
    std::vector<NamedValue> values = key.values;
    std::sort(values.begin(), values.end(),
              [](const NamedValue& a, const NamedValue& b) { return a.name < b.name; });
    out.emplace_back(key.path, values);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

}  // namespace

void PrintTo(const RegValue& value, std::ostream* out) {
  static const char* const names[] = {"REG_NONE",      "REG_SZ",    "REG_EXPAND_SZ",
                                      "REG_BINARY",    "REG_DWORD", "REG_DWORD_BIG_ENDIAN",
                                      "REG_LINK",      "REG_MULTI_SZ"};
  *out << (value.type < 8 ? names[value.type] : "type " + std::to_string(value.type));
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && value.data.size() % 2 == 0) {
    std::string text;
    for (wchar_t c : utf16_of(value.data)) {
      if (c >= 0x20 && c < 0x7F) {
        text += static_cast<char>(c);
      } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        text += escaped;
      }
    }
    *out << " \"" << text << "\" (" << value.data.size() << " bytes)";
  } else {
    *out << " hex " << hex(value.data);
  }
}

std::string shown(const std::optional<RegValue>& value) {
  if (!value) return "(missing)";
  std::ostringstream out;
  PrintTo(*value, &out);
  return out.str();
}

Bytes string_bytes(const std::wstring& text) {
  Bytes bytes = bytes_of_utf16(text);
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

RegValue sz(const std::wstring& text) { return {REG_SZ, string_bytes(text)}; }
RegValue expand_sz(const std::wstring& text) { return {REG_EXPAND_SZ, string_bytes(text)}; }
RegValue dword(DWORD value) {
  return {REG_DWORD,
          {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
           static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)}};
}

std::optional<RegValue> read_value(const std::wstring& key, const std::wstring& name, HKEY root) {
  Key open_key;
  if (open(key, KEY_QUERY_VALUE, &open_key, root) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExW(open_key.handle, name.c_str(), nullptr, &type, nullptr, &size);
  Bytes data(size + 2);
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    size = static_cast<DWORD>(data.size());
    status = RegQueryValueExW(open_key.handle, name.c_str(), nullptr, &type, data.data(), &size);
    if (status != ERROR_MORE_DATA) break;
    data.resize(size + 2);
  }
  if (status != ERROR_SUCCESS) return std::nullopt;
  data.resize(size);
  return RegValue{type, data};
}

LONG set_value(const std::wstring& key, const std::wstring& name, const RegValue& value) {
  // A non-NUL unit right after the data, so that Wine stores a string without a terminator as
  // it is instead of adding one.
  Bytes buffer = value.data;
  buffer.push_back(0x41);
  buffer.push_back(0x41);
  Key created;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &created.handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(created.handle, name.c_str(), 0, value.type, buffer.data(),
                        static_cast<DWORD>(value.data.size()));
}

LONG delete_value(const std::wstring& key, const std::wstring& name) {
  Key open_key;
  const LONG status = open(key, KEY_SET_VALUE, &open_key);
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteValueW(open_key.handle, name.c_str());
}

LONG delete_tree(const std::wstring& key) {
  if (!key_exists(key)) return ERROR_FILE_NOT_FOUND;
  return RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());  // the key itself goes too
}

bool key_exists(const std::wstring& key) {
  Key open_key;
  return open(key, KEY_READ, &open_key) == ERROR_SUCCESS;
}

std::optional<KeyContents> read_key(const std::wstring& key) {
  Key open_key;
  if (open(key, KEY_READ, &open_key) != ERROR_SUCCESS) return std::nullopt;
  KeyContents contents;
  read_open_key(open_key.handle, &contents);
  return contents;
}

std::optional<RegValue> value_named(const KeyContents& contents, const std::wstring& name) {
  for (const NamedValue& v : contents.values) {
    if (_wcsicmp(v.name.c_str(), name.c_str()) == 0) return v.value;
  }
  return std::nullopt;
}

std::optional<Tree> read_tree(const std::wstring& key) {
  Key open_key;
  if (open(key, KEY_READ, &open_key) != ERROR_SUCCESS) return std::nullopt;
  Tree tree;
  read_subtree(open_key.handle, L"", &tree);
  return tree;
}

bool same_tree(const Tree& a, const Tree& b) { return sorted(a) == sorted(b); }

LONG write_tree(const std::wstring& key, const Tree& tree) {
  for (const TreeKey& entry : tree) {
    const std::wstring path = entry.path.empty() ? key : key + L"\\" + entry.path;
    Key created;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created.handle,
                                  nullptr);
    if (status != ERROR_SUCCESS) return status;
    for (const NamedValue& v : entry.values) {
      status = set_value(path, v.name, v.value);
      if (status != ERROR_SUCCESS) return status;
    }
  }
  return ERROR_SUCCESS;
}

std::string describe_tree(const std::optional<Tree>& tree) {
  if (!tree) return "(missing)";
  std::string out;
  for (const auto& [path, values] : sorted(*tree)) {
    out += "[" + utf8(path) + "]";
    for (const NamedValue& v : values) out += " " + utf8(v.name) + "=" + shown(v.value) + ";";
    out += "\n";
  }
  return out;
}

std::optional<Bytes> read_security(const std::wstring& key) {
  Key open_key;
  if (open(key, READ_CONTROL, &open_key) != ERROR_SUCCESS) return std::nullopt;
  DWORD size = 0;
  RegGetKeySecurity(open_key.handle, DACL_SECURITY_INFORMATION, nullptr, &size);
  Bytes descriptor(size);
  if (size == 0 || RegGetKeySecurity(open_key.handle, DACL_SECURITY_INFORMATION,
                                     descriptor.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  descriptor.resize(size);
  return descriptor;
}

LONG set_security(const std::wstring& key, const Bytes& descriptor) {
  Key open_key;
  const LONG status = open(key, WRITE_DAC | READ_CONTROL, &open_key);
  if (status != ERROR_SUCCESS) return status;
  Bytes copy = descriptor;
  return RegSetKeySecurity(open_key.handle, DACL_SECURITY_INFORMATION, copy.data());
}

LONG deny_writes(const std::wstring& key) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return static_cast<LONG>(GetLastError());
  }
  Key open_key;
  LONG status = open(key, WRITE_DAC, &open_key);
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(open_key.handle, DACL_SECURITY_INFORMATION, descriptor);
  }
  LocalFree(descriptor);
  return status;
}

}  // namespace kit
