#pragma once
// Processes the cases start, each tree of them in a job of its own: every process the program
// under test starts (the deferred command interpreter, what that runs) belongs to the job too, so
// a case can name them, wait for all of them to end, hold them, and end them when it is done. A
// job that is closed ends whatever still runs in it, also when the test program itself dies.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kit {

// An environment block: "NAME=value" strings, each ending in NUL, then one more NUL. The blocks
// made here are sorted by name as Windows keeps them (case ignored, Unicode order).
using EnvironmentBlock = std::vector<wchar_t>;

// This process's environment with LOCALAPPDATA set to `local_app_data`, or without it (nullopt).
EnvironmentBlock environment_with(const std::optional<std::wstring>& local_app_data);
// The environment a new logon's programs get, built from the registry (CreateEnvironmentBlock),
// as a terminal opened after the change sees it.
std::optional<EnvironmentBlock> registry_environment();
std::optional<std::wstring> variable_in(const EnvironmentBlock& block, const std::wstring& name);
// Sets one variable in the block, replacing any of that name.
void set_variable(EnvironmentBlock& block, const std::wstring& name, const std::wstring& value);

struct SeenProcess {
  DWORD pid;
  // The full path; the file name alone when only the process list knew it; "" when the process
  // ended before it could be named.
  std::wstring image;
};

class Job {
 public:
  Job();
  ~Job();  // ends everything still running in the job
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  struct Start {
    std::wstring application;  // lpApplicationName; empty: the command line names the program
    std::wstring command_line;  // exact, any length CreateProcessW takes
    std::wstring directory;     // empty: this process's current directory
    const EnvironmentBlock* environment = nullptr;  // nullptr: this process's own
    // Standard handles: input from NUL, output and error into these files (none when empty).
    std::wstring output_file, error_file;
    DWORD flags = 0;  // more creation flags (CREATE_NO_WINDOW for console programs)
  };
  // Creates a process in the job, suspended; resume() lets every created one go at once. The
  // index of the process, or nullopt with the error in *error.
  std::optional<size_t> create(const Start& start, DWORD* error);
  void resume();
  // create() then resume().
  std::optional<size_t> start(const Start& start, DWORD* error);

  HANDLE process(size_t index) const { return started_[index].process; }
  DWORD pid(size_t index) const { return started_[index].pid; }
  // True once the process has ended within `timeout_ms`.
  bool wait(size_t index, DWORD timeout_ms);
  bool ended(size_t index) const;
  DWORD exit_status(size_t index) const;

  // Names the processes that joined since the last call.
  void poll();
  // Every process that has run in the job, in the order they joined.
  const std::vector<SeenProcess>& seen();
  // The processes running in the job now.
  std::vector<DWORD> running();
  // Waits (bounded) until no process runs in the job. True when none does.
  bool wait_empty(DWORD timeout_ms);
  // The running processes with that file name (e.g. "cmd.exe").
  int running_named(const std::wstring& file_name);
  // Waits (bounded) until none with that file name runs. True when none does.
  bool wait_none_named(const std::wstring& file_name, DWORD timeout_ms);
  // The processes seen with that file name, running or not.
  int seen_named(const std::wstring& file_name);
  // Suspends (or resumes) every thread of every process in the job with that file name; the
  // number of processes and of threads held.
  std::pair<int, int> hold(const std::wstring& file_name, bool suspend);
  void terminate();

 private:
  struct Started {
    HANDLE process;
    HANDLE thread;
    DWORD pid;
  };
  HANDLE job_ = nullptr;
  HANDLE port_ = nullptr;
  std::vector<Started> started_;
  std::vector<SeenProcess> seen_;
  std::vector<HANDLE> seen_handles_;  // one per seen process (or nullptr): its object stays
};

// The file name part of a path.
std::wstring file_name_of(const std::wstring& path);

}  // namespace kit
