#include "fakes/fake_platform.h"

#include <algorithm>

#include "platform/win32_codes.h"

namespace orvane::testing {
namespace {

std::u16string upper(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& u : out) {
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 0x20);
  }
  return out;
}

// "0x44": the subject of a handle's call, so that a test can fail the call for one handle.
std::u16string handle_text(Handle h) {
  const char16_t digits[] = u"0123456789abcdef";
  std::u16string text;
  do {
    text.insert(text.begin(), digits[h % 16]);
    h /= 16;
  } while (h != 0);
  return u"0x" + text;
}

}  // namespace

std::optional<std::u16string> FakeProcess::command_line() {
  if (faults_ && faults_->on_call("command_line")) return std::nullopt;
  return line;
}

Result<PlatformPath> FakeProcess::running_executable_path() {
  if (faults_) {
    if (auto code = faults_->on_call("running_executable_path")) return OsError::from_code(*code);
  }
  if (!executable) return OsError::from_code(win32::error_insufficient_buffer);
  return *executable;
}

std::optional<std::u16string> FakeProcess::environment_variable(std::u16string_view name) {
  if (faults_ && faults_->on_call("environment_variable", name)) return std::nullopt;
  auto it = environment.find(upper(name));
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

std::optional<PlatformPath> FakeProcess::known_local_app_data() {
  if (faults_ && faults_->on_call("known_local_app_data")) return std::nullopt;
  return known_folder;
}

int FakeDialogs::message_box(const WideString& text, const WideString& caption, std::uint32_t style) {
  shown.push_back({from_wide_lossy(text.view()), from_wide_lossy(caption.view()), style});
  if (faults_) {
    if (auto code = faults_->on_call("message_box")) return static_cast<int>(*code);
  }
  if (answers.empty()) return 1;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeBroadcast::send_message_timeout(std::uintptr_t window, std::uint32_t message,
                                         std::uintptr_t wparam, const WideString& text,
                                         std::uint32_t flags, std::uint32_t timeout_ms) {
  if (faults_) (void)faults_->on_call("send_message_timeout");
  sent.push_back({window, message, wparam, std::u16string(text.view()), flags, timeout_ms});
}

Result<PlatformPath> FakeProcesses::system_directory() {
  if (faults_) {
    if (auto code = faults_->on_call("system_directory")) return OsError::from_code(*code);
  }
  return system_folder;
}

Result<PlatformPath> FakeProcesses::windows_directory() {
  if (faults_) {
    if (auto code = faults_->on_call("windows_directory")) return OsError::from_code(*code);
  }
  return windows_folder;
}

std::uint32_t FakeProcesses::file_attributes(const PlatformPath& path) {
  if (faults_ && faults_->on_call("file_attributes", path)) return win32::invalid_file_attributes;
  const FakeFiles::Node* node = files_.find(path);
  if (!node) return win32::invalid_file_attributes;
  return node->directory ? 0x10 : 0x20;
}

Handle FakeProcesses::std_handle(StdStream stream) {
  if (faults_ && faults_->on_call("std_handle")) return invalid_handle;
  return std_handles[static_cast<int>(stream)];
}

Result<Handle> FakeProcesses::duplicate_inheritable(Handle h) {
  if (faults_) {
    if (auto code = faults_->on_call("duplicate_inheritable", handle_text(h))) {
      return OsError::from_code(*code);
    }
  }
  const Handle copy = next_++;
  duplicated.push_back(h);
  original_of[copy] = h;
  made_.push_back(copy);
  return copy;
}

Result<StartedProcess> FakeProcesses::create_process(const ProcessStart& start) {
  if (faults_) {
    if (auto code = faults_->on_call("create_process", start.application_name)) {
      return OsError::from_code(*code);
    }
  }
  started.push_back(start);
  const StartedProcess p{next_++, next_++};
  made_.push_back(p.process);
  made_.push_back(p.thread);
  return p;
}

void FakeProcesses::close_handle(Handle h) {
  if (faults_) (void)faults_->on_call("close_handle");
  closed.push_back(h);
}

std::vector<Handle> FakeProcesses::open_handles() const {
  std::vector<Handle> open;
  for (Handle h : made_) {
    if (std::count(closed.begin(), closed.end(), h) == 0) open.push_back(h);
  }
  return open;
}

FakeSystemMessages::FakeSystemMessages() {
  texts = {
      {2, u"The system cannot find the file specified.\r\n"},
      {3, u"The system cannot find the path specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {32, u"The process cannot access the file because it is being used by another process.\r\n"},
      {80, u"The file exists.\r\n"},
      {112, u"There is not enough space on the disk.\r\n"},
      {122, u"The data area passed to a system call is too small.\r\n"},
      {183, u"Cannot create a file when that file already exists.\r\n"},
  };
}

SystemMessages::Lookup FakeSystemMessages::message_for(std::uint32_t code) {
  auto it = texts.find(code);
  if (it == texts.end()) return Lookup{false, {}, win32::error_mr_mid_not_found};
  return Lookup{true, it->second, 0};
}

FakePlatform::FakePlatform() {
  process.environment[u"LOCALAPPDATA"] = local_app_data;
  process.known_folder = local_app_data;
  process.environment[u"PATH"] = u"C:\\windows\\system32;C:\\windows";
  files.add_directory(local_app_data);
  files.add_file(*process.executable, setup_bytes);
  files.add_file(u"C:\\windows\\system32\\cmd.exe", bytes_of("MZ cmd"));
}

}  // namespace orvane::testing
