#pragma once
// Records every platform call the fakes receive and fails the ones a test picks.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::testing {

class FaultInjector {
 public:
  struct Call {
    std::string operation;  // e.g. "make_directory", "set_value", "message_box"
    std::u16string subject;  // the path, key or value name the call is about, when any
  };

  // Every fake calls this first; a returned code is the failure to report.
  std::optional<std::uint32_t> on_call(std::string_view operation, std::u16string_view subject = {});

  // Fails calls of `operation` whose subject contains `subject_part` (every call when empty),
  // `times` times (forever when negative).
  void fail(std::string operation, std::uint32_t code, std::u16string subject_part = {}, int times = -1);

  // Fails the call with this position in the log (0-based), whatever it is.
  void fail_call_number(std::size_t index, std::uint32_t code);

  const std::vector<Call>& calls() const { return calls_; }
  std::size_t count(std::string_view operation) const;
  // Operations in call order, for asserting on sequences.
  std::vector<std::string> operations() const;

 private:
  struct Rule {
    std::string operation;
    std::u16string subject_part;
    std::uint32_t code;
    int times;
  };
  std::vector<Call> calls_;
  std::vector<Rule> rules_;
  std::optional<std::size_t> failing_index_;
  std::uint32_t failing_code_ = 0;
};

}  // namespace orvane::testing
