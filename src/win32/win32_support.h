#pragma once
// Small pieces every Win32 realisation shares: the owner of a kernel handle, the view of a
// WideString as the wchar_t text that the ...W calls take, and the last error as an OsError.

#include <windows.h>

#include <string>

#include "platform/result.h"
#include "platform/wide_string.h"

namespace orvane::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline const wchar_t* wide(const WideString& text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

inline OsError last_error() { return OsError::from_code(GetLastError()); }

// Owns one kernel handle and closes it once. Null and INVALID_HANDLE_VALUE both mean "none".
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : handle_(h) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  ~ScopedHandle() { close(); }

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void close() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace orvane::win32
