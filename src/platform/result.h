#pragma once
// Results, not exceptions: every fallible platform operation returns one of these.

#include <cstdint>
#include <optional>
#include <utility>

namespace orvane {

// A failure reported by the platform. Either it carries a Win32 error code, or (for failures the
// platform does not describe, such as a write that makes no progress) a fixed English text.
struct OsError {
  std::uint32_t code = 0;
  const char* fixed_text = nullptr;  // non-null only for failures without a platform code

  static OsError from_code(std::uint32_t c) { return OsError{c, nullptr}; }
  static OsError with_text(const char* text) { return OsError{0, text}; }
  bool has_code() const { return fixed_text == nullptr; }
  friend bool operator==(const OsError&, const OsError&) = default;
};

// Success, or one OsError.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(OsError error) : error_(error) {}  // NOLINT: implicit on purpose, `return OsError...`
  static Status success() { return Status(); }

  bool ok() const { return !error_.has_value(); }
  const OsError& error() const { return *error_; }

 private:
  std::optional<OsError> error_;
};

// A value, or one OsError.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}    // NOLINT: implicit on purpose
  Result(OsError error) : error_(error) {}         // NOLINT: implicit on purpose

  bool ok() const { return value_.has_value(); }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  const OsError& error() const { return error_; }

 private:
  std::optional<T> value_;
  OsError error_{};
};

}  // namespace orvane
