// Removing: silently and with its questions, by the installed uninstall.exe from its own folder,
// by the registered command lines, while the program runs, with the program read-only, with a
// command interpreter planted beside the setup program, and for install folders whose text a
// command interpreter would not take literally.

#include "setup_case.h"

namespace kit {
namespace {

using Removal = SetupCase;

TEST_F(Removal, SilentKeepsEveryOtherPathEntryAndChangesNothingElse) {
  const std::wstring old_path = L"%USERPROFILE%\\bin;C:\\Tools;D:\\\u00dcn\u00ef \U0001D11E";
  set_user_path(expand_sz(old_path));
  const ProfileState before = snapshot();
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  EXPECT_EQ(user_path(), std::optional(expand_sz(old_path + L";" + folder())))
      << "install appends ';' and the folder to the existing Path";

  const SetupRun removal = run(L"--uninstall --silent");
  const bool payload_gone_at_exit = !exists(folder() + L"\\" + payload_name);
  EXPECT_EQ(removal.status, 0u) << testing::PrintToString(removal);
  expect_silent_output(removal, "silent removal");
  EXPECT_TRUE(payload_gone_at_exit) << "orvane-worker.exe is gone when the removal exits";
  EXPECT_EQ(user_path(), std::optional(expand_sz(old_path)))
      << "Path loses the folder and keeps every other entry byte for byte, REG_EXPAND_SZ";
  expect_removed(folder(), *removal.job, "silent removal");
  std::string started;
  for (const SeenProcess& p : removal.job->seen()) started += " " + utf8(p.image);
  RecordProperty("processes_started_by_the_removal", started);
  std::vector<std::string> left = changes(before, snapshot());
  std::erase(left, folder_added(case_local_app_data() + L"\\Programs"));  // kept by design
  EXPECT_EQ(left, std::vector<std::string>{}) << "nothing outside the folder changed";
}

TEST_F(Removal, ByTheInstalledUninstallerFromItsOwnFolder) {
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  // As a double-click in the install folder starts it: no switch, the folder as current
  // directory, no standard handles.
  const RunOptions uninstaller{.exe = folder() + L"\\" + uninstaller_name,
                               .directory = folder(),
                               .std_handles = false};
  const ProfileState installed = snapshot();
  RunOptions declining = uninstaller;
  declining.answers = {Answer::No};
  const SetupRun declined = run(L"", declining);
  expect_box(declined, 0, BoxKind::Question, removal_question, "the removal question");
  expect_box_count(declined, 1, "removal declined");
  EXPECT_EQ(declined.status, 0u) << "answering No exits 0";
  EXPECT_EQ(changes(installed, snapshot()), std::vector<std::string>{})
      << "No leaves everything as it was";

  RunOptions accepting = uninstaller;
  accepting.answers = {Answer::Yes, Answer::Ok};
  const SetupRun removal = run(L"", accepting);
  expect_box(removal, 0, BoxKind::Question, removal_question, "the removal question");
  expect_box(removal, 1, BoxKind::Information, removed_message, "the closing box");
  expect_box_count(removal, 2, "interactive removal");
  EXPECT_EQ(removal.status, 0u) << "Yes, then OK, exits 0";
  EXPECT_EQ(user_path(), std::optional(expand_sz(L""))) << "Path loses the folder";
  expect_removed(folder(), *removal.job, "interactive removal");
}

TEST_F(Removal, TheQuestionCannotBeClosedWithoutAnAnswer) {
  SKIP_UNDER_WINE(
      "Wine answers WM_CLOSE on a Yes/No box with IDCANCEL; on Windows a box without a Cancel "
      "button has its close button disabled and ignores WM_CLOSE and Escape");
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  const ProfileState installed = snapshot();
  const SetupRun declined = run(L"", {.exe = folder() + L"\\" + uninstaller_name,
                                      .directory = folder(),
                                      .std_handles = false,
                                      .answers = {Answer::CloseThenNo}});
  expect_box(declined, 0, BoxKind::Question, removal_question, "the removal question");
  expect_box_count(declined, 1, "closed, then No");
  EXPECT_EQ(declined.status, 0u);
  EXPECT_EQ(changes(installed, snapshot()), std::vector<std::string>{});
}

TEST_F(Removal, TheFolderGoesAlthoughTheClosingBoxIsReadSlowly) {
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  // The user reads the closing box for as long as any deferred command still runs: the folder
  // is then removed only by a command that starts after the box.
  std::vector<bool> held;
  const SetupRun removal =
      run(L"", {.exe = folder() + L"\\" + uninstaller_name,
                .answers = {Answer::Yes, Answer::Ok},
                .before_press = [&](size_t index, const Box&, Job& job) {
                  if (index == 1) held.push_back(job.wait_none_named(L"cmd.exe", 30000));
                }});
  expect_box(removal, 1, BoxKind::Information, removed_message, "the closing box");
  EXPECT_EQ(removal.status, 0u);
  EXPECT_EQ(held, std::vector<bool>{true})
      << "no deferred command left running while the closing box was up";
  expect_removed(folder(), *removal.job, "removal with the closing box left open");
}

TEST_F(Removal, TheRegisteredCommandLinesRemoveIt) {
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  // The list of installed programs runs UninstallString as a command line, as registered.
  const std::optional<RegValue> registered = read_value(uninstall_key, L"UninstallString");
  ASSERT_TRUE(registered && registered->type == REG_SZ) << "UninstallString is a REG_SZ";
  std::wstring command = utf16_of(registered->data);
  command.resize(wcslen(command.c_str()));
  const SetupRun removal = run_line(command, {.from_command_line = true,
                                              .answers = {Answer::Yes, Answer::Ok}});
  expect_box(removal, 0, BoxKind::Question, removal_question, "UninstallString asks");
  expect_box(removal, 1, BoxKind::Information, removed_message, "and ends with the closing box");
  EXPECT_EQ(user_path(), std::optional(expand_sz(L""))) << "Path loses the folder";
  expect_removed(folder(), *removal.job, "UninstallString");

  // An administrator's script runs QuietUninstallString as a command line, exactly as stored.
  ASSERT_EQ(run(L"/S").status, 0u) << "second silent install";
  const std::optional<RegValue> quiet = read_value(uninstall_key, L"QuietUninstallString");
  ASSERT_TRUE(quiet && quiet->type == REG_SZ) << "QuietUninstallString is a REG_SZ";
  command = utf16_of(quiet->data);
  command.resize(wcslen(command.c_str()));
  // cmd reads a script in the console's code page.
  const std::wstring line = L"@" + command + L"\r\n";
  BOOL lossy = FALSE;
  std::string script(line.size() * 4, '\0');
  script.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_OEMCP, 0, line.data(), static_cast<int>(line.size()), script.data(),
                          static_cast<int>(script.size()), nullptr, &lossy)));
  ASSERT_FALSE(lossy) << "the command line is written in the console's code page";
  const std::wstring script_path = work() + L"\\quiet-uninstall.cmd";
  ASSERT_TRUE(write_file(script_path, bytes_of_text(script)));
  const SetupRun quiet_removal =
      run_line(L"cmd /d /c \"" + script_path + L"\"",
               {.exe = system_folder() + L"\\cmd.exe", .timeout_ms = 30000});
  EXPECT_EQ(quiet_removal.status, 0u)
      << "QuietUninstallString runs without a box and exits 0: "
      << testing::PrintToString(quiet_removal);
  EXPECT_EQ(user_path(), std::optional(expand_sz(L""))) << "Path loses the folder";
  expect_removed(folder(), *quiet_removal.job, "QuietUninstallString");
}

// The installed program running, a silent removal, and what it cleans.
class RemovalWhileRunning : public SetupCase {
 protected:
  void remove_while_running() {
    ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
    const std::wstring program = folder() + L"\\" + payload_name;
    worker_ = start_background(L"\"" + program + L"\" --sleep 60");
    ASSERT_FALSE(worker_->wait(0, 300)) << "the installed program is running";
    const SetupRun removal = run(L"--uninstall --silent");
    EXPECT_EQ(removal.status, 0u) << "silent removal while the program runs exits 0";
    EXPECT_EQ(user_path(), std::optional(expand_sz(L""))) << "Path loses the folder";
    EXPECT_FALSE(key_exists(uninstall_key)) << "the uninstall key is gone";
    EXPECT_TRUE(removal.job->wait_empty(30000)) << "the deferred command ends";
    EXPECT_FALSE(worker_->ended(0)) << "the program still runs";
  }
  std::shared_ptr<Job> worker_;
};

TEST_F(RemovalWhileRunning, CleansPathAndTheEntryAndExits0) {
  remove_while_running();
  RecordProperty("left_behind", testing::PrintToString(names_of(list_tree(folder()))));
}

TEST_F(RemovalWhileRunning, LeavesOnlyTheRunningProgram) {
  SKIP_UNDER_WINE(
      "Wine's rmdir /S stops at the first file it cannot delete, so uninstall.exe stays beside "
      "the running orvane-worker.exe; Windows' goes on and deletes everything else");
  remove_while_running();
  EXPECT_EQ(names_of(list_tree(folder())), std::vector<std::wstring>{payload_name})
      << "what stays is the install folder with the running orvane-worker.exe in it";
}

TEST_F(Removal, DeletesAReadOnlyProgramItself) {
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  const std::wstring program = folder() + L"\\" + payload_name;
  ASSERT_TRUE(SetFileAttributesW(program.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_NE(GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
      << "the case made the program read-only";
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u);
  EXPECT_FALSE(exists(program)) << "a read-only orvane-worker.exe is deleted by the removal itself, "
                                   "not left to the deferred command";
  expect_removed(folder(), *removal.job, "silent removal");
}

TEST_F(Removal, NeverStartsACmdPlantedBesideTheSetupProgram) {
  const std::optional<Bytes> fake = read_file(kit_helper(L"fake_cmd.exe"));
  ASSERT_TRUE(fake.has_value()) << "the kit holds helpers\\fake_cmd.exe";
  const std::wstring planted = downloads() + L"\\cmd.exe";
  ASSERT_TRUE(write_file(planted, *fake));
  ASSERT_EQ(run(L"/S").status, 0u) << "silent install from the download folder";
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u);
  expect_removed(folder(), *removal.job, "silent removal");
  for (const SeenProcess& p : removal.job->seen()) {
    EXPECT_NE(_wcsicmp(p.image.c_str(), planted.c_str()), 0)
        << "the cmd.exe beside the setup program is never started";
  }
  EXPECT_FALSE(exists(downloads() + L"\\planted-cmd-ran.txt"))
      << "the planted cmd.exe left no marker";
}

// Install folders whose text cmd would not take literally between double quotes. "{case}"
// stands for the case's folder, "{user}" for USERNAME.
struct HostileRow {
  const char* name;
  std::wstring local_app_data;
  std::wstring bystander;  // a folder that must survive the removal
};

const HostileRow hostile_rows[] = {
    {"double_quote_extra_folder", L"{case}\\victim\" \"{case}\\elsewhere", L"{case}\\victim"},
    {"double_quote_chained_command",
     L"{case}\\x\" & echo injected> {case}\\bystander\\injected.txt & rem \"",
     L"{case}\\bystander"},
    {"percent_reference", L"{case}\\%USERNAME%", L"{case}\\{user}\\Programs\\Orvane Worker"},
};

void PrintTo(const HostileRow& row, std::ostream* out) { *out << row.name; }

class HostileFolderText : public SetupCase, public testing::WithParamInterface<HostileRow> {
 protected:
  std::wstring expand(std::wstring text) const {
    wchar_t user[256] = {};
    GetEnvironmentVariableW(L"USERNAME", user, 256);
    for (auto [key, value] :
         {std::pair<std::wstring, std::wstring>{L"{case}", root()}, {L"{user}", user}}) {
      for (size_t at; (at = text.find(key)) != std::wstring::npos;) {
        text.replace(at, key.size(), value);
      }
    }
    return text;
  }
};

TEST_P(HostileFolderText, StartsNoCommandThatCouldReachAnotherFolder) {
  const std::wstring value = expand(GetParam().local_app_data);
  const std::wstring bystander = expand(GetParam().bystander);
  const bool quote = value.find(L'"') != std::wstring::npos;
  use_local_app_data(LocalAppData::exactly(value));
  ASSERT_TRUE(write_file(bystander + L"\\keep.txt", bytes_of_text("must survive\n")));
  const std::optional<Listing> kept = list_tree(bystander);
  if (!quote) {
    ASSERT_EQ(run(L"/S").status, 0u) << "silent install";
  }
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u) << "silent removal exits 0";
  EXPECT_TRUE(removal.job->wait_empty(30000)) << "any command interpreter has ended";
  if (quote) {
    EXPECT_EQ(removal.job->seen_named(L"cmd.exe"), 0)
        << "a folder text with a double quote starts no command interpreter";
  }
  EXPECT_EQ(list_tree(bystander), kept) << utf8(bystander) << " survives untouched";
  EXPECT_FALSE(exists(root() + L"\\bystander\\injected.txt")) << "no injected command ran";
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileFolderText, testing::ValuesIn(hostile_rows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kit
