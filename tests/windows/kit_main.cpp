// The entry of every end-to-end test program of the kit. The cases install and remove the
// product for the current user on the machine's own profile, so the program runs them only when
// told to (run-tests.cmd passes the flag) and refuses otherwise. With the flag it puts back what
// a run that died left, saves the profile, runs the cases (the guard puts the profile back after
// each) and puts it back once more at the end. Listing the cases needs no flag.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "profile_guard.h"
#include "setup_case.h"

namespace {

constexpr wchar_t change_profile_flag[] = L"--orvane-change-profile";

kit::ProfileGuard* running_guard = nullptr;

// Ctrl+C or a closed console window: put the profile back before the process goes. What the
// cases started ends with their jobs when the process does.
BOOL WINAPI on_console_event(DWORD) {
  if (running_guard != nullptr) {
    const std::string problems = running_guard->close();
    std::printf("\nstopped: %s\n", problems.empty() ? "the profile is put back"
                                                    : ("could not put back: " + problems).c_str());
    std::fflush(stdout);
  }
  ExitProcess(130);
}

std::string program_name(const wchar_t* path) {
  return kit::utf8(kit::file_name_of(path));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  bool change_profile = false;
  for (int k = 1; k < argc; ++k) {
    if (wcscmp(argv[k], change_profile_flag) == 0) {
      change_profile = true;
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", program_name(argv[0]).c_str(),
                   kit::utf8(argv[k]).c_str());
      return 2;
    }
  }
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!change_profile) {
    std::fprintf(stderr,
                 "%s: refusing to run: these cases install and remove Orvane Worker for the "
                 "current user (Path, the uninstall entry; saved and put back after each case); "
                 "run run-tests.cmd, or give %s\n",
                 program_name(argv[0]).c_str(), kit::utf8(change_profile_flag).c_str());
    return 2;
  }

  kit::ProfileGuard guard(kit::local_app_data_folder() + L"\\orvane-kit",
                         kit::temp_folder() + L"\\orvane-kit");
  std::vector<std::string> notes;
  const std::string problem = guard.open(&notes);
  for (const std::string& note : notes) std::printf("profile guard: %s\n", note.c_str());
  if (!problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", program_name(argv[0]).c_str(), problem.c_str());
    return 3;
  }
  std::printf("profile guard: saved in %s, put back after every case\n",
              kit::utf8(guard.saved_file()).c_str());
  std::fflush(stdout);
  running_guard = &guard;
  kit::set_guard(&guard);
  SetConsoleCtrlHandler(on_console_event, TRUE);

  int status = RUN_ALL_TESTS();

  SetConsoleCtrlHandler(on_console_event, FALSE);
  kit::set_guard(nullptr);
  running_guard = nullptr;
  const std::string left = guard.close();
  if (!left.empty()) {
    std::fprintf(stderr, "%s: could not put back: %s; the saved copy stays in %s\n",
                 program_name(argv[0]).c_str(), left.c_str(),
                 kit::utf8(guard.saved_file()).c_str());
    status = 1;
  }
  return status;
}
