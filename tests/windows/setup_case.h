#pragma once
// One end-to-end case of the real setup program, as a user or an administrator runs it, on the
// machine's own profile. Each case works in a folder of its own below the run's folder: its
// LOCALAPPDATA (passed to every program the case starts in that program's environment block, so
// the machine's real install folder is never touched; Wine too gives a program exactly the block
// it was started with, whatever HKCU\Volatile Environment says), the download folder the setup program is
// started from, and a working folder. It starts on a clean profile (no user Path, no uninstall
// entry), as a new account has. After the case, failed or not, every process it started
// is ended, the profile guard puts back what the case changed, and the folder goes.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "expected_texts.h"
#include "kit_boxes.h"
#include "kit_files.h"
#include "kit_processes.h"
#include "kit_registry.h"
#include "profile_guard.h"

namespace kit {

// True when this runs under Wine (ntdll exports wine_get_version).
bool runs_on_wine();
// Skips the rest of a case where Wine does what Windows does not; the reason says how they
// differ. Use only where the case holds Windows' behaviour.
#define SKIP_UNDER_WINE(reason)                  \
  do {                                           \
    if (::kit::runs_on_wine()) GTEST_SKIP() << "Windows only: " << (reason); \
  } while (false)

// The run's guard, set by the test program's entry while the cases run.
void set_guard(ProfileGuard* guard);

// The kit's files: the setup program beside the test program, and the program it carries.
std::wstring kit_setup_path();
const Bytes& setup_program_bytes();
const Bytes& carried_program_bytes();
std::wstring kit_helper(const std::wstring& name);  // <kit>\helpers\<name>

// FormatMessageW's system text for a code, trailing white space removed, and the form the
// setup program gives an error in: "<text> (os error <code>)".
std::wstring system_message(DWORD code);
std::wstring os_error(DWORD code);
std::wstring system_folder();

// LOCALAPPDATA for the programs a case starts.
struct LocalAppData {
  enum class Kind { Case, Unset, Exactly } kind = Kind::Case;
  std::wstring text;
  static LocalAppData unset() { return {Kind::Unset, L""}; }
  static LocalAppData exactly(std::wstring text) { return {Kind::Exactly, std::move(text)}; }
};

enum class BoxKind { Question, Information, Error };

struct RunOptions {
  std::wstring exe;        // the program; by default the case's downloaded setup program
  std::wstring directory;  // current directory; by default the case's working folder
  // Start it as the system starts a registered command line: no application name, the program
  // taken from the command line.
  bool from_command_line = false;
  bool std_handles = true;  // standard handles into files (as a shell gives); false as Explorer
  std::optional<LocalAppData> local_app_data;  // by default the case's
  std::vector<std::pair<std::wstring, std::wstring>> variables;  // more of the environment
  std::vector<Answer> answers;  // one per box, in order; a box with no answer left fails the run
  // Called while box `index` (from 0) is up, before it is answered.
  std::function<void(size_t index, const Box& box, Job& job)> before_press;
  DWORD timeout_ms = 60000;
};

struct SetupRun {
  bool created = false;
  DWORD create_error = 0;
  bool ended = false;
  DWORD status = STILL_ACTIVE;
  std::vector<Box> boxes;
  size_t answered = 0;
  std::string problem;  // what went wrong with the run itself: it hung, an unexpected box, ...
  std::string out, err;
  std::shared_ptr<Job> job;  // holds what the program left running (the deferred command)
};
void PrintTo(const SetupRun& run, std::ostream* out);

// What a case compares before and after for "nothing else changed": everything in its folder,
// HKCU\Environment, the names below the Uninstall key and the product's key with all below it.
struct ProfileState {
  std::optional<Listing> files;
  std::optional<KeyContents> environment;
  std::vector<std::wstring> uninstall_entries;
  std::optional<Tree> product_key;
};

class SetupCase : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::wstring& root() const { return root_; }
  std::wstring case_local_app_data() const { return root_ + L"\\local"; }
  // The install folder for the case's LOCALAPPDATA.
  std::wstring folder() const { return case_local_app_data() + L"\\Programs\\Orvane Worker"; }
  std::wstring downloads() const { return root_ + L"\\downloads"; }
  std::wstring setup_exe() const { return downloads() + L"\\orvane-worker-setup.exe"; }
  std::wstring work() const { return root_ + L"\\work"; }
  // LOCALAPPDATA for every run of the case that does not choose its own.
  void use_local_app_data(LocalAppData value) { local_app_data_ = std::move(value); }

  // Runs the program as `"<exe>" <arguments>`, answering its boxes, until it ends.
  SetupRun run(const std::wstring& arguments, RunOptions options = {});
  // The same with an exact command line (quoting, lone surrogates, any length).
  SetupRun run_line(const std::wstring& line, RunOptions options = {});
  struct Child {
    bool created = false;
    DWORD error = 0;
    DWORD status = STILL_ACTIVE;
    friend bool operator==(const Child&, const Child&) = default;
  };
  // Starts the setup program once per command line, all created suspended and let go at the same
  // moment, and waits for them all.
  std::vector<Child> run_together(const std::vector<std::wstring>& lines);
  static std::vector<Child> exited(std::vector<DWORD> statuses);
  // Starts a console program in the background (e.g. the installed program) in a job of its own.
  std::shared_ptr<Job> start_background(const std::wstring& line, const EnvironmentBlock* env = nullptr);
  struct ConsoleRun {
    bool ended = false;
    DWORD status = STILL_ACTIVE;
    std::string out, err;
    std::vector<SeenProcess> seen;
  };
  // Runs a console program to its end (at most `timeout_ms`), output into files.
  ConsoleRun run_console(const std::wstring& application, const std::wstring& line,
                         const EnvironmentBlock* env = nullptr, DWORD timeout_ms = 30000);
  EnvironmentBlock environment_for(const std::optional<LocalAppData>& choice) const;

  std::optional<RegValue> user_path() const { return read_value(environment_key, L"Path"); }
  void set_user_path(const RegValue& value);

  // The checks several cases share; `what` names the step in a failure.
  void expect_box(const SetupRun& run, size_t index, BoxKind kind, const std::wstring& text,
                  const std::string& what);
  void expect_box_count(const SetupRun& run, size_t count, const std::string& what);
  void expect_silent_output(const SetupRun& run, const std::string& what);
  void expect_installed_files(const std::wstring& folder, const std::string& what);
  void expect_registered(const std::wstring& folder, const std::string& what);
  // The uninstall key is gone, and the folder with it once every process the removal left has
  // ended (waited for, at most 30 s).
  void expect_removed(const std::wstring& folder, Job& job, const std::string& what);

  ProfileState snapshot() const;
  static std::vector<std::string> changes(const ProfileState& before, const ProfileState& after);
  // The change a run makes when it creates this folder below the case's folder.
  std::string folder_added(const std::wstring& path) const;

 private:
  // A console program's start: in the working folder, no window, output into the case's logs.
  // `environment` must outlive the start.
  Job::Start console_start(const std::wstring& application, const std::wstring& line,
                           const EnvironmentBlock& environment);

  std::wstring root_;
  LocalAppData local_app_data_;
  std::vector<std::shared_ptr<Job>> jobs_;
  unsigned runs_ = 0;
};

}  // namespace kit
