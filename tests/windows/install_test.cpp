// Installing: silently and with its questions, the switches as written on a command line, the
// Path a user already has, a copy of the program that is running, a folder that cannot be
// created, an unwritable environment key, and the LOCALAPPDATA values the install folder comes
// from.

#include <algorithm>

#include "setup_case.h"

namespace kit {
namespace {

using Install = SetupCase;

std::vector<std::wstring> split_path(const std::wstring& value) {
  std::vector<std::wstring> entries;
  size_t start = 0;
  for (;;) {
    const size_t end = value.find(L';', start);
    entries.push_back(value.substr(start, end - start));
    if (end == std::wstring::npos) return entries;
    start = end + 1;
  }
}

TEST_F(Install, SilentOnACleanProfilePlacesBothFiles) {
  const SetupRun install = run(L"/S");
  EXPECT_EQ(install.status, 0u) << testing::PrintToString(install);
  expect_silent_output(install, "silent install");
  expect_installed_files(folder(), "silent install");
}

TEST_F(Install, SilentWritesPathAndRegistration) {
  ASSERT_EQ(run(L"/S").status, 0u);
  EXPECT_EQ(user_path(), std::optional(expand_sz(folder())))
      << "Path of a clean profile becomes the folder alone, REG_EXPAND_SZ";
  expect_registered(folder(), "after silent install");
  const std::wstring program = folder() + L"\\" + payload_name;
  const ConsoleRun help = run_console(program, L"\"" + program + L"\" --help");
  EXPECT_TRUE(help.ended && help.status == 0 && !help.out.empty())
      << "the installed program answers --help: status " << help.status;
}

TEST_F(Install, ANewTerminalFindsTheCommand) {
  SKIP_UNDER_WINE(
      "Wine's CreateEnvironmentBlock keeps the machine's Path as PATH and leaves the user's out; "
      "Windows appends the user's, as a terminal opened after the install gets it");
  ASSERT_EQ(run(L"/S").status, 0u);
  const std::wstring program = folder() + L"\\" + payload_name;
  const ConsoleRun direct = run_console(program, L"\"" + program + L"\" --help");
  // A terminal opened now gets its environment from the registry, as a new logon builds it.
  const std::optional<EnvironmentBlock> fresh = registry_environment();
  ASSERT_TRUE(fresh.has_value()) << "CreateEnvironmentBlock, error " << GetLastError();
  const std::wstring path = variable_in(*fresh, L"PATH").value_or(L"");
  const std::vector<std::wstring> entries = split_path(path);
  EXPECT_NE(std::find(entries.begin(), entries.end(), folder()), entries.end())
      << "a new terminal's PATH names the folder: " << utf8(path);
  const ConsoleRun terminal = run_console(system_folder() + L"\\cmd.exe",
                                          L"cmd /d /c orvane-worker --help", &*fresh);
  EXPECT_TRUE(terminal.ended && terminal.status == 0 && terminal.out == direct.out)
      << "`cmd /c orvane-worker --help` in a new terminal runs it: status " << terminal.status
      << ", output " << testing::PrintToString(terminal.out);
  bool ran_installed = false;
  for (const SeenProcess& p : terminal.seen) {
    ran_installed = ran_installed || _wcsicmp(p.image.c_str(), program.c_str()) == 0;
  }
  EXPECT_TRUE(ran_installed) << "the command that ran is the installed " << utf8(program);
}

TEST_F(Install, SilentSwitchSpellingsInstallAndNearMissesAsk) {
  // Each spelling installs without a box; a box fails the run at once.
  for (const wchar_t* spelling : {L"/S", L"/s", L"/SILENT", L"/quiet", L"--Silent"}) {
    SCOPED_TRACE(utf8(spelling));
    const SetupRun install = run(spelling, {.timeout_ms = 30000});
    EXPECT_EQ(install.status, 0u) << "installs silently, exit 0: "
                                  << testing::PrintToString(install);
  }
  expect_installed_files(folder(), "after the silent runs");
  // Near misses are no switches: the question comes up (answered No). The last is the one
  // argument "/S " with its space, quoted on the command line.
  for (const wchar_t* near_miss : {L"-s", L"/s=1", L"\"/S \""}) {
    SCOPED_TRACE(utf8(near_miss));
    const SetupRun asked = run(near_miss, {.answers = {Answer::No}});
    expect_box(asked, 0, BoxKind::Question, install_question(folder()), "asks");
    EXPECT_EQ(asked.status, 0u) << "answered No, exit 0";
  }
}

TEST_F(Install, ReplacesACopyThatIsRunning) {
  ASSERT_EQ(run(L"/S").status, 0u) << "first silent install";
  // The installed copy made distinguishable from the new one: a PE file still runs with bytes
  // appended after its image.
  const std::wstring program = folder() + L"\\" + payload_name;
  Bytes old = read_file(program).value_or(Bytes{});
  const Bytes marker = bytes_of_text("previous installation");
  old.insert(old.end(), marker.begin(), marker.end());
  ASSERT_TRUE(write_file(program, old));
  const std::shared_ptr<Job> worker = start_background(L"\"" + program + L"\" --sleep 60");
  ASSERT_FALSE(worker->wait(0, 300)) << "the installed program is running";

  EXPECT_EQ(run(L"/S").status, 0u) << "second silent install while the program runs";
  EXPECT_EQ(names_of(list_tree(folder())),
            (std::vector<std::wstring>{payload_name, L"orvane-worker.exe.old", uninstaller_name}))
      << "the folder holds the new file, the old one moved aside, and the uninstaller";
  EXPECT_TRUE(read_file(program) == carried_program_bytes())
      << "orvane-worker.exe is the newly carried program";
  EXPECT_TRUE(read_file(program + L".old") == old) << "orvane-worker.exe.old is the running copy";
  EXPECT_FALSE(worker->ended(0)) << "the running program keeps running";

  // Once it has ended, the next installation replaces the old copy and deletes it.
  worker->terminate();
  EXPECT_EQ(run(L"/S").status, 0u) << "third silent install";
  EXPECT_EQ(names_of(list_tree(folder())),
            (std::vector<std::wstring>{payload_name, uninstaller_name}))
      << "the old copy is gone";
}

TEST_F(Install, AFileInTheFolderPlaceFailsWithTheErrorBoxAndChangesNothing) {
  ASSERT_TRUE(write_file(folder(), bytes_of_text("a file, not a folder\n")));
  const ProfileState before = snapshot();
  const SetupRun silent = run(L"/S");
  EXPECT_EQ(silent.status, 1u) << "silent install exits 1";
  expect_silent_output(silent, "failed silent install");
  EXPECT_EQ(changes(before, snapshot()), std::vector<std::string>{})
      << "the failed silent install changes nothing";

  const SetupRun asked = run(L"", {.answers = {Answer::Yes, Answer::Ok}});
  expect_box(asked, 0, BoxKind::Question, install_question(folder()), "asks first");
  expect_box(asked, 1, BoxKind::Error,
             failure_message(L"Cannot create " + folder() + L": " + os_error(ERROR_ALREADY_EXISTS)),
             "then the error box");
  expect_box_count(asked, 2, "failed interactive install");
  EXPECT_EQ(asked.status, 1u) << "failed interactive install exits 1";
  EXPECT_EQ(changes(before, snapshot()), std::vector<std::string>{})
      << "the failed interactive install changes nothing";
}

TEST_F(Install, PathThatAlreadyNamesTheFolderIsNotWritten) {
  // The folder is there already, in other letter case and with a trailing backslash.
  std::wstring upper = folder();
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  const RegValue old = sz(L"C:\\Tools;%USERPROFILE%\\bin;" + upper + L"\\;D:\\\u00dcn\u00ef \U0001D11E");
  set_user_path(old);
  ASSERT_EQ(run(L"/S").status, 0u);
  EXPECT_EQ(user_path(), std::optional(old)) << "Path is not written: same type, same bytes";
}

TEST_F(Install, AnUnwritableEnvironmentKeyLeavesPathAndTheInstallFinishes) {
  const RegValue old = expand_sz(L"C:\\Tools");
  set_user_path(old);
  ASSERT_EQ(deny_writes(environment_key), ERROR_SUCCESS);
  const LONG probe = set_value(environment_key, L"Probe", sz(L"1"));
  if (probe == ERROR_SUCCESS) delete_value(environment_key, L"Probe");
  ASSERT_EQ(probe, ERROR_ACCESS_DENIED) << "the case made HKCU\\Environment unwritable";

  const SetupRun install = run(L"", {.answers = {Answer::Yes, Answer::Ok}});
  expect_box(install, 1, BoxKind::Information, installed_message(folder()),
             "the closing box still comes");
  EXPECT_EQ(install.status, 0u);
  EXPECT_EQ(user_path(), std::optional(old)) << "Path is unchanged";
  expect_installed_files(folder(), "install");
  expect_registered(folder(), "install");
}

using InteractiveInstall = SetupCase;

TEST_F(InteractiveInstall, YesThenOkInstalls) {
  const SetupRun install = run(L"", {.answers = {Answer::Yes, Answer::Ok}});
  expect_box(install, 0, BoxKind::Question, install_question(folder()), "the install question");
  expect_box(install, 1, BoxKind::Information, installed_message(folder()), "the closing box");
  expect_box_count(install, 2, "interactive install");
  EXPECT_EQ(install.status, 0u) << "Yes, then OK, exits 0";
  expect_installed_files(folder(), "interactive install");
  EXPECT_EQ(user_path(), std::optional(expand_sz(folder()))) << "Path holds the folder";
  expect_registered(folder(), "interactive install");
}

TEST_F(InteractiveInstall, NoChangesNothing) {
  const ProfileState before = snapshot();
  const SetupRun declined = run(L"", {.answers = {Answer::No}});
  expect_box(declined, 0, BoxKind::Question, install_question(folder()), "the install question");
  expect_box_count(declined, 1, "install declined");
  EXPECT_EQ(declined.status, 0u) << "answering No exits 0";
  EXPECT_EQ(changes(before, snapshot()), std::vector<std::string>{})
      << "declining leaves the folder, Path and the registration untouched";
}

TEST_F(InteractiveInstall, TheQuestionCannotBeClosedWithoutAnAnswer) {
  SKIP_UNDER_WINE(
      "Wine answers WM_CLOSE on a Yes/No box with IDCANCEL; on Windows a box without a Cancel "
      "button has its close button disabled and ignores WM_CLOSE and Escape");
  const ProfileState before = snapshot();
  const SetupRun declined = run(L"", {.answers = {Answer::CloseThenNo}});
  expect_box(declined, 0, BoxKind::Question, install_question(folder()), "the install question");
  expect_box_count(declined, 1, "closed, then No");
  EXPECT_EQ(declined.status, 0u);
  EXPECT_EQ(changes(before, snapshot()), std::vector<std::string>{});
}

// LOCALAPPDATA as the install folder's base: "{case}" stands for the case's folder, "{local}"
// for the case's own LOCALAPPDATA, "{known}" for the user's Local AppData folder as the profile
// records it. An absolute value is the user's choice; any other (unset, empty, relative, a bare
// drive) gives way to the profile's folder, never to a folder below the current one or one that
// other users can create (C:\Users\Public).
struct LocalAppDataRow {
  const char* name;
  std::optional<std::wstring> value;  // nullopt: unset
  std::wstring folder;                // the install folder the program names and fills
};

std::wstring expand(std::wstring text, const std::wstring& root) {
  for (auto [key, value] : {std::pair<std::wstring, std::wstring>{L"{local}", root + L"\\local"},
                            {L"{case}", root}, {L"{known}", local_app_data_folder()}}) {
    for (size_t at; (at = text.find(key)) != std::wstring::npos;) text.replace(at, key.size(), value);
  }
  return text;
}

constexpr wchar_t public_folder[] = L"C:\\Users\\Public\\AppData\\Local\\Programs\\Orvane Worker";
constexpr wchar_t known_folder[] = L"{known}\\Programs\\Orvane Worker";

const LocalAppDataRow local_app_data_rows[] = {
    {"unset", std::nullopt, known_folder},
    {"empty", L"", known_folder},
    {"relative", L"rel\\local", known_folder},
    {"bare_drive", L"C:", known_folder},
    {"trailing_backslash", L"{local}\\", L"{local}\\Programs\\Orvane Worker"},
    {"non_ascii_and_spaces", L"{case}\\Zo\u00eb \u0141ukasz\\Donn\u00e9es locales \U0001D11E",
     L"{case}\\Zo\u00eb \u0141ukasz\\Donn\u00e9es locales \U0001D11E\\Programs\\Orvane Worker"},
    {"ampersand_caret_parentheses", L"{case}\\R&D ^team (x86)",
     L"{case}\\R&D ^team (x86)\\Programs\\Orvane Worker"},
};

void PrintTo(const LocalAppDataRow& row, std::ostream* out) { *out << row.name; }

class LocalAppDataCases : public SetupCase, public testing::WithParamInterface<LocalAppDataRow> {};

// The folders between `base` and `folder` that a case creates go again afterwards.
class CreatedFolders {
 public:
  CreatedFolders(const std::wstring& base, const std::wstring& folder) {
    for (std::wstring path = folder; path.size() > base.size();
         path = path.substr(0, path.find_last_of(L'\\'))) {
      if (!exists(path)) created_ = path;
    }
  }
  ~CreatedFolders() {
    if (!created_.empty() && exists(created_)) {
      EXPECT_TRUE(remove_tree(created_)) << utf8(created_) << " stays";
    }
  }

 private:
  std::wstring created_;  // the topmost folder that was missing
};

TEST_P(LocalAppDataCases, NamesTheInstallFolderInstallsAndRemoves) {
  const LocalAppDataRow& row = GetParam();
  const std::wstring folder = expand(row.folder, root());
  std::optional<CreatedFolders> created;
  if (row.folder == known_folder) {
    // The profile's own folder: an installation of the user's there is never touched.
    if (local_app_data_folder().empty()) GTEST_SKIP() << "the profile names no Local AppData folder";
    if (exists(folder)) GTEST_SKIP() << utf8(folder) << " exists on this machine";
    created.emplace(local_app_data_folder(), folder);
  }
  use_local_app_data(row.value ? LocalAppData::exactly(expand(*row.value, root())) : LocalAppData::unset());
  const bool public_before = exists(public_folder);

  for (const bool silent : {false, true}) {
    const std::string what = silent ? "silent install" : "interactive install";
    const SetupRun install = silent ? run(L"/S") : run(L"", {.answers = {Answer::Yes, Answer::Ok}});
    if (silent) {
      expect_box_count(install, 0, what);
    } else {
      expect_box(install, 0, BoxKind::Question, install_question(folder), "the question names it");
      expect_box(install, 1, BoxKind::Information, installed_message(folder), "the closing box too");
    }
    EXPECT_EQ(install.status, 0u) << what << " exits 0";
    expect_installed_files(folder, what);
    EXPECT_EQ(user_path(), std::optional(expand_sz(folder))) << what << ": Path holds the folder";
    expect_registered(folder, what);
    EXPECT_EQ(names_of(list_tree(work())), std::vector<std::wstring>{})
        << what << ": nothing in the folder it was started from";
    EXPECT_EQ(exists(public_folder), public_before) << what << ": nothing below C:\\Users\\Public";

    const SetupRun removal = run(L"--uninstall --silent");
    EXPECT_EQ(removal.status, 0u) << "silent removal exits 0";
    EXPECT_EQ(user_path(), std::optional(expand_sz(L"")))
        << "Path loses the folder (and stays, empty)";
    expect_removed(folder, *removal.job, "silent removal after the " + what);
    EXPECT_EQ(names_of(list_tree(work())), std::vector<std::wstring>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalAppDataCases, testing::ValuesIn(local_app_data_rows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kit
