// What the setup program takes from the folder it is run from, and from the user's settings of
// the command interpreter: nothing. Both cases hold Windows' behaviour; what Wine does instead is
// said in their skips.

#include <windows.h>

#include <tlhelp32.h>

#include "setup_case.h"

namespace kit {
namespace {

using Security = SetupCase;

// System DLLs that are not KnownDLLs, which Windows would look for in a program's own folder
// first unless told otherwise, and imm32 (a KnownDLL, which Wine takes from there).
const wchar_t* const planted_names[] = {L"uxtheme.dll", L"version.dll", L"dwmapi.dll",
                                        L"TextShaping.dll", L"imm32.dll"};

// The modules of these processes that were loaded from below `folder`.
std::vector<std::string> modules_from(const std::vector<DWORD>& pids, const std::wstring& folder) {
  std::vector<std::string> found;
  const std::wstring prefix = folder + L"\\";
  for (DWORD pid : pids) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE) continue;
    MODULEENTRY32W module{};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
      const std::wstring path = module.szExePath;
      if (path.size() > prefix.size() && _wcsnicmp(path.c_str(), prefix.c_str(), prefix.size()) == 0 &&
          _wcsicmp(path.c_str() + prefix.size(), L"orvane-worker-setup.exe") != 0) {
        found.push_back(utf8(path.substr(prefix.size())));
      }
    }
    CloseHandle(snapshot);
  }
  return found;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "none" : text;
}

// What an attacker plants is a DLL that loads and works. On Windows the case plants copies of
// the system's own DLLs, which do, and looks for them among the setup program's modules while
// its question box (which loads the theme DLLs) is up. Under Wine the system folder holds
// stand-ins for Wine's builtins, which it never takes from elsewhere: there the case plants a DLL
// that leaves a marker when it is loaded, and tells Wine to prefer native DLLs for the program.
TEST_F(Security, DllsPlantedBesideTheSetupProgramAreNeverLoaded) {
  const bool wine = runs_on_wine();
  const std::optional<Bytes> marker_dll = read_file(kit_helper(L"planted.dll"));
  ASSERT_TRUE(marker_dll.has_value()) << "the kit holds helpers\\planted.dll";
  std::vector<std::string> planted;
  for (const wchar_t* name : planted_names) {
    const std::optional<Bytes> system_copy =
        wine ? std::nullopt : read_file(system_folder() + L"\\" + name);
    ASSERT_TRUE(write_file(downloads() + L"\\" + name, system_copy ? *system_copy : *marker_dll))
        << utf8(name);
    planted.push_back(utf8(name) + (system_copy ? " (the system's)" : " (marker)"));
  }
  RecordProperty("planted_dlls", joined(planted));
  if (wine) {
    for (const wchar_t* name : {L"uxtheme", L"version", L"dwmapi", L"textshaping", L"imm32"}) {
      ASSERT_EQ(set_value(std::wstring(wine_setup_settings_key) + L"\\DllOverrides", name,
                          sz(L"native,builtin")),
                ERROR_SUCCESS);
    }
  }
  std::vector<std::string> mapped;
  const SetupRun declined =
      run(L"", {.answers = {Answer::No},
                .before_press = [&](size_t, const Box&, Job& job) {
                  mapped = modules_from(job.running(), downloads());
                }});
  EXPECT_EQ(declined.status, 0u) << testing::PrintToString(declined);
  expect_box_count(declined, 1, "the declined install");
  expect_box(declined, 0, BoxKind::Question, install_question(folder()), "the install question");

  std::vector<std::string> marked;
  for (const wchar_t* name : planted_names) {
    if (exists(downloads() + L"\\" + name + L".loaded")) marked.push_back(utf8(name));
  }
  RecordProperty("loaded_from_the_download_folder", joined(mapped));
  RecordProperty("markers_left", joined(marked));
  SKIP_UNDER_WINE("Wine's loader takes the imports of its builtins before the program's first "
                  "instruction and does not hold the DLLs it loads later to the search limit "
                  "(taken here: " + joined(marked) + ")");
  EXPECT_EQ(mapped, std::vector<std::string>{})
      << "no module of the setup program comes from its folder while its box is up";
  EXPECT_EQ(marked, std::vector<std::string>{}) << "no planted DLL ran";
}

TEST_F(Security, TheUsersCmdSettingsDoNotReachTheDeferredRemoval) {
  // With delayed expansion on, "!ORVANE_KIT_PLACE!" in the folder text would become "decoy", and
  // rmdir would delete the decoy's folder instead; AutoRun would run before the command.
  const std::wstring marker = root() + L"\\autorun-ran.txt";
  ASSERT_EQ(set_value(command_processor_key, L"DelayedExpansion", dword(1)), ERROR_SUCCESS);
  ASSERT_EQ(set_value(command_processor_key, L"AutoRun", sz(L"echo ran> \"" + marker + L"\"")),
            ERROR_SUCCESS);
  const std::wstring local = root() + L"\\!ORVANE_KIT_PLACE!";
  const std::wstring installed = local + L"\\Programs\\Orvane Worker";
  const std::wstring decoy = root() + L"\\decoy\\Programs\\Orvane Worker";
  ASSERT_TRUE(make_directories(decoy));
  ASSERT_TRUE(write_file(decoy + L"\\keep.txt", Bytes{'k'}));
  const RunOptions options{.local_app_data = LocalAppData::exactly(local),
                           .variables = {{L"ORVANE_KIT_PLACE", L"decoy"}}};

  ASSERT_EQ(run(L"/S", options).status, 0u) << "silent install";
  expect_installed_files(installed, "install below a folder named !ORVANE_KIT_PLACE!");
  const SetupRun removal = run(L"--uninstall --silent", options);
  EXPECT_EQ(removal.status, 0u) << testing::PrintToString(removal);
  expect_removed(installed, *removal.job, "silent removal");
  EXPECT_TRUE(exists(decoy + L"\\keep.txt")) << "the decoy folder is untouched";
  EXPECT_FALSE(exists(marker)) << "the user's AutoRun command did not run";
  SKIP_UNDER_WINE("Wine's cmd ignores DelayedExpansion and AutoRun, so the case passes here "
                  "whatever switches the command is started with");
}

}  // namespace
}  // namespace kit
