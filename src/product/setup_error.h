#pragma once
// The one error value of the program: a message ready to be shown.

#include <optional>
#include <string>
#include <utility>

namespace orvane {

struct SetupError {
  std::string message;
};

// Success, or the first SetupError of an installation.
class [[nodiscard]] SetupResult {
 public:
  SetupResult() = default;
  SetupResult(SetupError error) : error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return !error_.has_value(); }
  const SetupError& error() const { return *error_; }

 private:
  std::optional<SetupError> error_;
};

}  // namespace orvane
