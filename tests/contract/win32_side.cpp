// The contract run against the Win32 realisations, on Windows or under Wine. Each case works in
// a folder of its own under the temporary folder and in a key of its own under
// HKCU\Software\OrvaneWorkerContractTests; both go when the case ends. Arranging and inspecting
// use plain Win32 calls, not the code under test.

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract.h"
#include "win32/win32_files.h"
#include "win32/win32_process.h"
#include "win32/win32_registry.h"

namespace orvane::contract {
namespace {

constexpr wchar_t tests_key[] = L"Software\\OrvaneWorkerContractTests";

const wchar_t* wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A name no other case of any run uses at the same time.
std::u16string unique_name() {
  static unsigned counter = 0;
  const std::wstring name =
      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  return std::u16string(name.begin(), name.end());
}

// Wine keeps the read-only attribute as missing Unix write permissions, which do not hold back
// the superuser: run as root, it opens a read-only file for writing (an ordinary user's Wine
// refuses, as Windows does). Tried once on a scratch file.
bool opens_read_only_for_writing() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t probe[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"orv", 0, probe) == 0)
    return false;
  SetFileAttributesW(probe, FILE_ATTRIBUTE_READONLY);
  const HANDLE file =
      CreateFileW(probe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool opened = file != INVALID_HANDLE_VALUE;
  if (opened) CloseHandle(file);
  SetFileAttributesW(probe, FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(probe);
  return opened;
}

// Wine renames with a Unix rename, which replaces a file whatever its permissions and whoever
// runs it, so a read-only destination is replaced. Tried once on two scratch files.
bool replaces_read_only_by_rename() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t source[MAX_PATH + 1];
  wchar_t destination[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"orv", 0, source) == 0)
    return false;
  if (GetTempFileNameW(folder, L"orv", 0, destination) == 0) {
    DeleteFileW(source);
    return false;
  }
  SetFileAttributesW(destination, FILE_ATTRIBUTE_READONLY);
  const bool replaced = MoveFileExW(source, destination, MOVEFILE_REPLACE_EXISTING) != 0;
  SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(destination);
  DeleteFileW(source);
  return replaced;
}

// Deletes the folder and everything in it, read-only files included; links are removed, not
// followed.
void remove_tree(const std::u16string& folder) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(wide(folder + u"\\*"), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name(reinterpret_cast<const char16_t*>(entry.cFileName));
      if (name == u"." || name == u"..") continue;
      const std::u16string path = folder + u"\\" + name;
      const DWORD attributes = entry.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        remove_tree(path);
      } else {
        SetFileAttributesW(wide(path), FILE_ATTRIBUTE_NORMAL);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          RemoveDirectoryW(wide(path));
        } else {
          DeleteFileW(wide(path));
        }
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  SetFileAttributesW(wide(folder), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(wide(folder));
}

// Every SetFileInformationByHandle of the code under test goes through the world's fault
// injector first, which may answer it with a failure in place of the system.
std::uint32_t set_information_through(void* context, void* file, int information_class,
                                      void* information, std::uint32_t size) {
  auto& faults = *static_cast<testing::FaultInjector*>(context);
  const std::string text = "class " + std::to_string(information_class);
  if (const std::optional<std::uint32_t> code =
          faults.on_call("set_information", std::u16string(text.begin(), text.end())))
    return *code;
  if (SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(information_class),
                                 information, size))
    return ERROR_SUCCESS;
  return GetLastError();
}

class Win32FilesWorld final : public FilesWorld {
 public:
  Win32FilesWorld() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    root_.assign(reinterpret_cast<const char16_t*>(temp), length);
    if (!root_.empty() && root_.back() == u'\\') root_.pop_back();
    root_ += u"\\orvane-contract-" + unique_name();
    EXPECT_TRUE(CreateDirectoryW(wide(root_), nullptr))
        << "scratch folder, error " << GetLastError();
  }
  ~Win32FilesWorld() override {
    for (const HANDLE held : held_) CloseHandle(held);
    remove_tree(root_);
    EXPECT_EQ(GetFileAttributesW(wide(root_)), INVALID_FILE_ATTRIBUTES)
        << "the scratch folder could not be removed";
  }

  Files& files() override { return files_; }
  const PlatformPath& root() const override { return root_; }

  void add_file(const PlatformPath& path, std::span<const std::byte> bytes) override {
    const HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "creating a file, error " << GetLastError();
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << "writing a file, error " << GetLastError();
  }
  void add_directory(const PlatformPath& path) override {
    ASSERT_TRUE(CreateDirectoryW(wide(path), nullptr)) << "error " << GetLastError();
  }
  void make_read_only(const PlatformPath& path) override {
    ASSERT_TRUE(SetFileAttributesW(wide(path), FILE_ATTRIBUTE_READONLY))
        << "error " << GetLastError();
  }
  void hold_open(const PlatformPath& path) override {
    const HANDLE file = CreateFileW(wide(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    held_.push_back(file);
  }
  std::optional<std::vector<std::byte>> content(const PlatformPath& path) override {
    const HANDLE file = CreateFileW(wide(path), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<std::byte> bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size)) {
      bytes.resize(static_cast<std::size_t>(size.QuadPart));
      DWORD read = 0;
      if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
      bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
  }
  testing::FaultInjector* information_faults() override { return &faults_; }

 private:
  testing::FaultInjector faults_;
  Win32Files files_{set_information_through, &faults_};
  std::u16string root_;
  std::vector<HANDLE> held_;
};

class Win32RegistryWorld final : public RegistryWorld {
 public:
  Win32RegistryWorld()
      : base_(reinterpret_cast<const char16_t*>(tests_key) + std::u16string(u"\\") +
              unique_name()) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wide(base_), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND)
        << "the case's key is left from an earlier run";
    if (key != nullptr) RegCloseKey(key);
  }
  ~Win32RegistryWorld() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, wide(base_));
    RegDeleteKeyW(HKEY_CURRENT_USER, tests_key);  // only once no other case has a key below
  }

  Registry& registry() override { return registry_; }
  const std::u16string& base() const override { return base_; }

 private:
  Win32Registry registry_;
  std::u16string base_;
};

class Win32ProcessWorld final : public ProcessWorld {
 public:
  Process& process() override { return process_; }
  // Linked the usual way here: the test program may import the shell.
  std::optional<PlatformPath> profile_local_app_data() override {
    PWSTR path = nullptr;
    std::optional<PlatformPath> folder;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path) == S_OK) {
      folder = PlatformPath(reinterpret_cast<const char16_t*>(path));
    }
    CoTaskMemFree(path);
    return folder;
  }

 private:
  Win32Process process_;
};

}  // namespace

const Side& side_under_test() {
  static const Side side{
      "Win32",
      [] { return std::make_unique<Win32FilesWorld>(); },
      [] { return std::make_unique<Win32RegistryWorld>(); },
      [] { return std::make_unique<Win32ProcessWorld>(); },
      replaces_read_only_by_rename()
          ? "A rename replaces a read-only destination here (Wine renames as Unix does, which "
            "asks nothing of the replaced file, also as an ordinary user); Windows refuses with "
            "ERROR_ACCESS_DENIED, as the fake does"
          : "",
      opens_read_only_for_writing()
          ? "A read-only file opens for writing here (Wine keeps the attribute as Unix "
            "permissions, which root passes: run the suite as an ordinary user); Windows "
            "refuses with ERROR_ACCESS_DENIED, as the fake does"
          : "",
  };
  return side;
}

}  // namespace orvane::contract
