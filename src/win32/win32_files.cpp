#include "win32/win32_files.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "platform/win32_codes.h"
#include "win32/win32_support.h"

// ntdll's synchronous write. It is declared only by the driver kit headers, which do not mix with
// windows.h, so it is spelled out here; the import comes from -lntdll.
extern "C" NTSTATUS NTAPI NtWriteFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc_routine,
                                      PVOID apc_context, PIO_STATUS_BLOCK io_status, PVOID buffer,
                                      ULONG length, PLARGE_INTEGER byte_offset, PULONG key);

namespace orvane {
namespace {

using win32::last_error;
using win32::ScopedHandle;
using win32::wide;

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD rename_flags =
    FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
constexpr DWORD disposition_flags = FILE_DISPOSITION_FLAG_DELETE |
                                    FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                    FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
static_assert(rename_flags == 3 && disposition_flags == 0x13);

// The two classes of Windows 10 1607 and later. The headers offer them only under a version test
// that can never hold, so they are numbered here, right after the last class they do offer.
constexpr auto file_disposition_info_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto file_rename_info_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
static_assert(FileIdExtdDirectoryRestartInfo == 20);

// What a refused information class of Windows 10 1607 may answer, after which the older class is
// worth a try: older Windows versions and Wine do not know the class (87, 50); FAT and exFAT
// refuse POSIX semantics (665); a file system that does not implement the class at all says so
// (1). Any other error (access denied, sharing violation, ...) is the answer.
bool is_unsupported_class(DWORD error) {
  switch (error) {
    case win32::error_invalid_parameter:
    case win32::error_not_supported:
    case win32::error_file_system_limitation:
    case win32::error_invalid_function:
      return true;
    default:
      return false;
  }
}

// SetFileInformationByHandle, or what stands in front of it.
struct InformationSetter {
  Win32Files::SetInformation replacement;
  void* context;

  DWORD operator()(HANDLE file, FILE_INFO_BY_HANDLE_CLASS information_class, void* information,
                   DWORD size) const {
    if (replacement != nullptr)
      return replacement(context, file, static_cast<int>(information_class), information, size);
    if (SetFileInformationByHandle(file, information_class, information, size))
      return ERROR_SUCCESS;
    return GetLastError();
  }
};

bool is_name_surrogate(DWORD reparse_tag) { return (reparse_tag & 0x20000000) != 0; }

struct Metadata {
  DWORD attributes = 0;
  DWORD reparse_tag = 0;  // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
};

// The metadata of what the path names, links followed. An open with no access rights succeeds for
// files in use; where it is refused (a file held without sharing, a folder that may not be
// opened), the directory entry answers instead, which describes the link itself.
std::optional<Metadata> read_metadata(const PlatformPath& path) {
  const WideString name(path);
  const ScopedHandle file(CreateFileW(wide(name), 0, share_all, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.valid()) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    Metadata metadata{info.dwFileAttributes, 0};
    if ((metadata.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      FILE_ATTRIBUTE_TAG_INFO tag;
      if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag))
        return std::nullopt;
      metadata.reparse_tag = tag.ReparseTag;
    }
    return metadata;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return std::nullopt;

  WIN32_FIND_DATAW entry;
  const HANDLE search =
      FindFirstFileExW(wide(name), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(search);
  const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return Metadata{entry.dwFileAttributes, reparse ? entry.dwReserved0 : 0};
}

// SetFileInformationByHandle with a FILE_RENAME_INFO naming `destination`. `flags` goes into the
// field that FileRenameInfoEx reads as flags and FileRenameInfo as ReplaceIfExists.
DWORD set_rename_information(const InformationSetter& set, HANDLE file,
                             FILE_INFO_BY_HANDLE_CLASS information_class,
                             const WideString& destination, DWORD flags) {
  const std::size_t name_bytes = (destination.size() - 1) * sizeof(char16_t);
  // The name goes in with its terminator: the path conversion inside the call reads up to it.
  const std::size_t total = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(char16_t);
  if (total > MAXDWORD) return ERROR_FILENAME_EXCED_RANGE;
  std::vector<std::uint64_t> storage((total + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  info->Flags = flags;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::copy_n(wide(destination), destination.size(), info->FileName);
  return set(file, information_class, info, static_cast<DWORD>(total));
}

// Renames through a handle to the source, replacing the destination even where MoveFileExW
// refused. Where FileRenameInfoEx is unknown, the older FileRenameInfo with ReplaceIfExists
// replaces what it can.
DWORD rename_through_handle(const InformationSetter& set, const WideString& source,
                            const WideString& destination) {
  const ScopedHandle file(CreateFileW(wide(source), DELETE, share_all, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
  if (!file.valid()) return GetLastError();
  const DWORD error =
      set_rename_information(set, file.get(), file_rename_info_ex, destination, rename_flags);
  if (!is_unsupported_class(error)) return error;
  return set_rename_information(set, file.get(), FileRenameInfo, destination, TRUE);
}

// Marks the file for deletion through a handle, ignoring its read-only attribute.
DWORD delete_through_handle(const InformationSetter& set, const WideString& path) {
  const ScopedHandle file(CreateFileW(wide(path), DELETE, share_all, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return GetLastError();
  FILE_DISPOSITION_INFO_EX disposition_ex{disposition_flags};
  const DWORD error =
      set(file.get(), file_disposition_info_ex, &disposition_ex, sizeof disposition_ex);
  if (error == ERROR_SUCCESS || !is_unsupported_class(error)) return error;

  // Without FileDispositionInfoEx the read-only attribute has to go first. That happens by path:
  // Wine gives a user other than root no FILE_WRITE_ATTRIBUTES handle to a read-only file. The
  // attribute is put back when the file cannot be deleted after all.
  const DWORD attributes = GetFileAttributesW(wide(path));
  const bool read_only =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) {
    DWORD cleared = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesW(wide(path), cleared)) return GetLastError();
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  const DWORD disposition_error =
      set(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
  if (disposition_error == ERROR_SUCCESS) return ERROR_SUCCESS;
  if (read_only) SetFileAttributesW(wide(path), attributes);
  return disposition_error;
}

// Cuts an open file to length 0. Setting the allocation size is enough on Windows; the end of
// file is the fallback where that class is refused.
DWORD truncate(HANDLE file) {
  FILE_ALLOCATION_INFO allocation{};
  if (SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation))
    return ERROR_SUCCESS;
  FILE_END_OF_FILE_INFO end_of_file{};
  if (SetFileInformationByHandle(file, FileEndOfFileInfo, &end_of_file, sizeof end_of_file))
    return ERROR_SUCCESS;
  return GetLastError();
}

// One synchronous NtWriteFile at the current position; the number of bytes written.
Result<std::size_t> write_once(HANDLE file, const std::byte* data, ULONG length) {
  IO_STATUS_BLOCK io_status{};
  NTSTATUS status = NtWriteFile(file, nullptr, nullptr, nullptr, &io_status,
                                const_cast<std::byte*>(data), length, nullptr, nullptr);
  if (status == STATUS_PENDING) {
    // Not expected for a handle opened without FILE_FLAG_OVERLAPPED; the status block belongs to
    // this frame, so the write has to be over before it is left.
    WaitForSingleObject(file, INFINITE);
    status = io_status.Status;
    if (status == STATUS_PENDING) std::abort();
  }
  if (status < 0) return OsError::from_code(RtlNtStatusToDosError(status));
  return static_cast<std::size_t>(io_status.Information);
}

}  // namespace

bool Win32Files::path_exists(const PlatformPath& path) { return read_metadata(path).has_value(); }

bool Win32Files::is_directory(const PlatformPath& path) {
  const std::optional<Metadata> metadata = read_metadata(path);
  if (!metadata || (metadata->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  const bool reparse = (metadata->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return !(reparse && is_name_surrogate(metadata->reparse_tag));
}

Status Win32Files::make_directory(const PlatformPath& path) {
  if (CreateDirectoryW(wide(WideString(path)), nullptr)) return Status::success();
  return last_error();
}

Status Win32Files::rename_replacing(const PlatformPath& source, const PlatformPath& destination) {
  const WideString from(source);
  const WideString to(destination);
  if (MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING)) return Status::success();
  const DWORD first_error = GetLastError();
  if (first_error != ERROR_ACCESS_DENIED) return OsError::from_code(first_error);
  const DWORD retry_error =
      rename_through_handle(InformationSetter{set_information_, context_}, from, to);
  if (retry_error == ERROR_SUCCESS) return Status::success();
  return OsError::from_code(retry_error == ERROR_DIR_NOT_EMPTY ? retry_error : first_error);
}

Status Win32Files::write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) {
  const ScopedHandle file(CreateFileW(wide(WideString(path)), GENERIC_WRITE, share_all, nullptr,
                                      OPEN_ALWAYS, 0, nullptr));
  if (!file.valid()) return last_error();
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    const DWORD error = truncate(file.get());
    if (error != ERROR_SUCCESS) return OsError::from_code(error);
  }
  while (!bytes.empty()) {
    const auto length =
        static_cast<ULONG>(std::min<std::size_t>(bytes.size(), std::numeric_limits<ULONG>::max()));
    const Result<std::size_t> written = write_once(file.get(), bytes.data(), length);
    if (!written.ok()) return written.error();
    if (written.value() == 0) return OsError::with_text("failed to write whole buffer");
    bytes = bytes.subspan(std::min(written.value(), bytes.size()));
  }
  return Status::success();
}

Status Win32Files::delete_file(const PlatformPath& path) {
  const WideString name(path);
  if (DeleteFileW(wide(name))) return Status::success();
  const DWORD first_error = GetLastError();
  if (first_error != ERROR_ACCESS_DENIED) return OsError::from_code(first_error);
  if (delete_through_handle(InformationSetter{set_information_, context_}, name) == ERROR_SUCCESS)
    return Status::success();
  return OsError::from_code(first_error);
}

Status Win32Files::copy_file_replacing(const PlatformPath& source,
                                       const PlatformPath& destination) {
  if (!CopyFileExW(wide(WideString(source)), wide(WideString(destination)), nullptr, nullptr,
                   nullptr, 0))
    return last_error();
  // CopyFileExW copies the named streams too, among them the Zone.Identifier stream a browser
  // puts on a download; the copy would then be treated as downloaded from where its source came
  // from. DeleteFileW on "file:stream" deletes that stream alone. Whether it was there or not,
  // the copy is made.
  DeleteFileW(wide(WideString(destination + u":Zone.Identifier")));
  return Status::success();
}

}  // namespace orvane
