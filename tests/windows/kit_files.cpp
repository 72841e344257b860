#include "kit_files.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>

namespace kit {
namespace {

std::string fingerprint(const Bytes& bytes) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char b : bytes) hash = (hash ^ b) * 1099511628211ull;
  char text[48];
  std::snprintf(text, sizeof text, "%zu %016llx", bytes.size(),
                static_cast<unsigned long long>(hash));
  return text;
}

void walk(const std::wstring& folder, const std::wstring& relative, Listing* listing) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(verbatim(folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const std::wstring rel = relative.empty() ? name : relative + L"\\" + name;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      (*listing)[rel] = "link";
    } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      (*listing)[rel] = "dir";
      walk(path, rel, listing);
    } else {
      const std::optional<Bytes> bytes = read_file(path);
      (*listing)[rel] = bytes ? fingerprint(*bytes) : "unreadable";
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

}  // namespace

std::wstring verbatim(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(verbatim(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(verbatim(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<Bytes> read_file(const std::wstring& path) {
  const HANDLE file = CreateFileW(verbatim(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  Bytes bytes;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
          got == bytes.size());
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return bytes;
}

bool make_directories(const std::wstring& path) {
  if (is_directory(path)) return true;
  const size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 2 && !make_directories(path.substr(0, slash))) {
    return false;
  }
  return CreateDirectoryW(verbatim(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool write_file(const std::wstring& path, const Bytes& bytes) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && !make_directories(path.substr(0, slash))) return false;
  const HANDLE file = CreateFileW(verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      bytes.empty() ||
      (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
       written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool remove_tree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(verbatim(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  SetFileAttributesW(verbatim(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(verbatim(path).c_str());
    return !exists(path);
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(verbatim(path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") remove_tree(path + L"\\" + name);
      } while (FindNextFileW(search, &entry));
      FindClose(search);
    }
  }
  RemoveDirectoryW(verbatim(path).c_str());
  return !exists(path);
}

std::optional<Listing> list_tree(const std::wstring& folder) {
  if (!is_directory(folder)) return std::nullopt;
  Listing listing;
  walk(folder, L"", &listing);
  return listing;
}

std::vector<std::wstring> names_of(const std::optional<Listing>& listing) {
  std::vector<std::wstring> names;
  if (listing) {
    for (const auto& [name, what] : *listing) names.push_back(name);
  }
  return names;
}

std::wstring own_folder() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring temp_folder() {
  wchar_t temp[MAX_PATH + 1];
  std::wstring path(temp, GetTempPathW(MAX_PATH + 1, temp));
  // A short (8.3) spelling would reach the program's texts; the long one is what users see.
  std::wstring long_form(32768, L'\0');
  const DWORD length =
      GetLongPathNameW(path.c_str(), long_form.data(), static_cast<DWORD>(long_form.size()));
  if (length > 0 && length < long_form.size()) path = long_form.substr(0, length);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring local_app_data_folder() {
  wchar_t* path = nullptr;
  std::wstring folder;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) folder = path;
  CoTaskMemFree(path);
  return folder;
}

std::string bytes_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::wstring utf16_of(const Bytes& bytes) {
  std::wstring text;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    text.push_back(static_cast<wchar_t>(bytes[k] | bytes[k + 1] << 8));
  }
  return text;
}

Bytes bytes_of_utf16(const std::wstring& text) {
  Bytes bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  return bytes;
}

Bytes bytes_of_text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::string hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

Bytes unhex(const std::string& text) {
  Bytes bytes;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (size_t k = 0; k + 1 < text.size(); k += 2) {
    bytes.push_back(static_cast<unsigned char>(digit(text[k]) << 4 | digit(text[k + 1])));
  }
  return bytes;
}

}  // namespace kit
