#include "fakes/fault_injector.h"

namespace orvane::testing {

std::optional<std::uint32_t> FaultInjector::on_call(std::string_view operation,
                                                     std::u16string_view subject) {
  const std::size_t index = calls_.size();
  calls_.push_back({std::string(operation), std::u16string(subject)});
  if (failing_index_ && *failing_index_ == index) return failing_code_;
  for (Rule& rule : rules_) {
    if (rule.times == 0 || rule.operation != operation) continue;
    if (!rule.subject_part.empty() && subject.find(rule.subject_part) == std::u16string_view::npos) {
      continue;
    }
    if (rule.times > 0) --rule.times;
    return rule.code;
  }
  return std::nullopt;
}

void FaultInjector::fail(std::string operation, std::uint32_t code, std::u16string subject_part,
                         int times) {
  rules_.push_back({std::move(operation), std::move(subject_part), code, times});
}

void FaultInjector::fail_call_number(std::size_t index, std::uint32_t code) {
  failing_index_ = index;
  failing_code_ = code;
}

std::size_t FaultInjector::count(std::string_view operation) const {
  std::size_t n = 0;
  for (const Call& c : calls_) n += c.operation == operation ? 1 : 0;
  return n;
}

std::vector<std::string> FaultInjector::operations() const {
  std::vector<std::string> out;
  for (const Call& c : calls_) out.push_back(c.operation);
  return out;
}

}  // namespace orvane::testing
