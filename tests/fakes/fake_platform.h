#pragma once
// Test doubles for the remaining platform interfaces, and one bundle that wires every fake to a
// shared FaultInjector.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_files.h"
#include "fakes/fake_registry.h"
#include "fakes/fault_injector.h"
#include "platform/platform.h"

namespace orvane::testing {

class FakeProcess : public Process {
 public:
  explicit FakeProcess(FaultInjector* faults = nullptr) : faults_(faults) {}

  std::optional<std::u16string> line = u"setup.exe";
  std::optional<PlatformPath> executable = u"C:\\Users\\Owner\\Downloads\\setup.exe";
  std::map<std::u16string, std::u16string> environment;  // names in upper case
  std::optional<PlatformPath> known_folder;               // what the shell says of Local AppData
  std::vector<std::uint32_t> exits;

  std::optional<std::u16string> command_line() override;
  Result<PlatformPath> running_executable_path() override;
  std::optional<std::u16string> environment_variable(std::u16string_view name) override;
  std::optional<PlatformPath> known_local_app_data() override;
  void exit_process(std::uint32_t status) override { exits.push_back(status); }

 private:
  FaultInjector* faults_;
};

class FakeDialogs : public Dialogs {
 public:
  explicit FakeDialogs(FaultInjector* faults = nullptr) : faults_(faults) {}

  struct Shown {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };
  std::vector<Shown> shown;
  std::deque<int> answers;  // taken in order; IDOK (1) when none is left

  int message_box(const WideString& text, const WideString& caption, std::uint32_t style) override;

 private:
  FaultInjector* faults_;
};

class FakeBroadcast : public Broadcast {
 public:
  explicit FakeBroadcast(FaultInjector* faults = nullptr) : faults_(faults) {}

  struct Sent {
    std::uintptr_t window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::u16string text;
    std::uint32_t flags;
    std::uint32_t timeout_ms;
  };
  std::vector<Sent> sent;

  void send_message_timeout(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam,
                            const WideString& text, std::uint32_t flags,
                            std::uint32_t timeout_ms) override;

 private:
  FaultInjector* faults_;
};

// Finds files through the fake file system, so that a planted cmd.exe is seen where it lies.
class FakeProcesses : public Processes {
 public:
  FakeProcesses(FakeFiles& files, FaultInjector* faults = nullptr) : files_(files), faults_(faults) {}

  PlatformPath system_folder = u"C:\\windows\\system32";
  PlatformPath windows_folder = u"C:\\windows";
  Handle std_handles[3] = {null_handle, null_handle, null_handle};
  std::vector<ProcessStart> started;
  std::vector<Handle> duplicated;         // the handles duplicated, in order
  std::map<Handle, Handle> original_of;  // each duplicate's source handle
  std::vector<Handle> closed;

  Result<PlatformPath> system_directory() override;
  Result<PlatformPath> windows_directory() override;
  std::uint32_t file_attributes(const PlatformPath& path) override;
  Handle std_handle(StdStream stream) override;
  // The call's subject is the handle as "0x44", so that a test can fail it for one handle.
  Result<Handle> duplicate_inheritable(Handle h) override;
  Result<StartedProcess> create_process(const ProcessStart& start) override;
  void close_handle(Handle h) override;

  // Handles made by duplication or process start and not closed yet.
  std::vector<Handle> open_handles() const;

 private:
  FakeFiles& files_;
  FaultInjector* faults_;
  Handle next_ = 0x500;
  std::vector<Handle> made_;
};

// A few real system texts; any other code has no text (lookup error 317).
class FakeSystemMessages : public SystemMessages {
 public:
  std::map<std::uint32_t, std::u16string> texts;
  FakeSystemMessages();
  Lookup message_for(std::uint32_t code) override;
};

// Every fake, sharing one FaultInjector, with the setup program's own file in place.
struct FakePlatform {
  FakePlatform();

  FaultInjector faults;
  FakeProcess process{&faults};
  FakeFiles files{&faults};
  FakeRegistry registry{&faults};
  FakeDialogs dialogs{&faults};
  FakeBroadcast broadcast{&faults};
  FakeProcesses processes{files, &faults};
  FakeSystemMessages messages;
  Platform platform{process, files, registry, dialogs, broadcast, processes, messages};

  static constexpr const char16_t* local_app_data = u"C:\\Users\\Owner\\AppData\\Local";
  static constexpr const char16_t* folder = u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";
  static constexpr const char* folder_text = "C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";
  static inline const std::vector<std::byte> setup_bytes = bytes_of("MZ setup program");
};

}  // namespace orvane::testing
