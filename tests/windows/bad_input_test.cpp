// Bad inputs on the real program: install folders that a command interpreter or a Path list
// could mistake, or that the platform's path rules change, Path values that are huge, odd or
// not text at all, command lines at the platform's limit or not valid UTF-16, and runs that
// overlap. Each case asserts the exact result the program gives. The folders with "&", "^", "(",
// ")" and a double quote, and %USERNAME% as a reference the interpreter must not expand, are in
// install_test.cpp and removal_test.cpp.

#include <algorithm>

#include "setup_case.h"

namespace kit {
namespace {

constexpr wchar_t old_path[] = L"C:\\Tools;%USERPROFILE%\\bin";
// The longest command line CreateProcessW takes, its terminator included.
constexpr size_t longest_command_line = 32767;

std::wstring join(const std::vector<std::wstring>& entries) {
  std::wstring text;
  for (size_t k = 0; k < entries.size(); ++k) text += (k ? L";" : L"") + entries[k];
  return text;
}

std::wstring replaced(std::wstring text, const std::wstring& key, const std::wstring& value) {
  for (size_t at; (at = text.find(key)) != std::wstring::npos;) text.replace(at, key.size(), value);
  return text;
}

class BadInput : public SetupCase {
 protected:
  // The program is installed in `in`, with `path` as the user's Path.
  void expect_still_installed(const std::wstring& in, const std::wstring& path,
                              const std::string& what) {
    expect_installed_files(in, what);
    EXPECT_EQ(user_path(), std::optional(expand_sz(path))) << what << ": Path";
    expect_registered(in, what);
  }
};

// ---------------------------------------------------------------------------------------------
// Install folders that cmd or a Path list could take for something else, or that are long

struct OddRow {
  const char* name;
  std::wstring local_app_data;  // "{case}" stands for the case's folder
  // What of the install folder the removal leaves behind; empty: nothing.
  std::vector<std::wstring> left;
};
void PrintTo(const OddRow& row, std::ostream* out) { *out << row.name; }

std::wstring long_local_app_data() {
  std::wstring path = L"{case}";
  for (int k = 0; k < 6; ++k) {
    path += L"\\" + std::to_wstring(k) + L" a folder name that goes on for quite a while";
  }
  return path;
}

const OddRow odd_rows[] = {
    // A folder text holding % gets no deferred command (cmd would expand the reference), so the
    // folder stays with the uninstaller in it.
    {"lone_percent", L"{case}\\100% local", {uninstaller_name}},
    {"percent_reference", L"{case}\\a%USERPROFILE%b", {uninstaller_name}},
    {"semicolon", L"{case}\\a;b", {}},
    {"spaces", L"{case}\\ leading space, two  inner spaces", {}},
    {"three_scripts_and_emoji",
     L"{case}\\\u0414\u0430\u043d\u043d\u044b\u0435 \u0394\u03b5\u03b4\u03bf\u03bc\u03ad\u03bd\u03b1 "
     L"\u6570\u636e \U0001F600",
     {}},
    {"longer_than_260", long_local_app_data(), {}},
};

class OddLocalAppData : public BadInput, public testing::WithParamInterface<OddRow> {};

TEST_P(OddLocalAppData, InstallsTwiceAndRemoves) {
  const OddRow& row = GetParam();
  const std::wstring value = replaced(row.local_app_data, L"{case}", root());
  const std::wstring folder = value + L"\\Programs\\Orvane Worker";
  const bool long_path = folder.size() > MAX_PATH;
  if (long_path && !runs_on_wine()) {
    const std::optional<RegValue> enabled = read_value(
        L"SYSTEM\\CurrentControlSet\\Control\\FileSystem", L"LongPathsEnabled", HKEY_LOCAL_MACHINE);
    if (enabled != dword(1)) {
      GTEST_SKIP() << "long paths are not enabled on this machine (LongPathsEnabled): a folder "
                      "longer than MAX_PATH cannot be created";
    }
  }
  const bool splits = folder.find(L';') != std::wstring::npos;  // never counts as present
  const int commands = folder.find(L'%') != std::wstring::npos ? 0 : 1;
  use_local_app_data(LocalAppData::exactly(value));
  set_user_path(expand_sz(old_path));
  RecordProperty("install_folder_length", static_cast<int>(folder.size()));

  const SetupRun first = run(L"/S");
  EXPECT_EQ(first.status, 0u) << "silent install";
  expect_silent_output(first, "silent install");
  expect_still_installed(folder, old_path + (L";" + folder),
                         "silent install (';' and the folder text appended)");

  EXPECT_EQ(run(L"/S").status, 0u) << "a second silent install";
  const std::wstring installed_path =
      old_path + (L";" + folder) + (splits ? L";" + folder : L"");
  expect_still_installed(folder, installed_path,
                         splits ? "second install (a folder with ';' never counts as present: "
                                  "appended again)"
                                : "second install (the folder counts as present: not appended)");

  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u) << "silent removal";
  expect_silent_output(removal, "silent removal");
  EXPECT_FALSE(exists(folder + L"\\" + payload_name)) << "orvane-worker.exe is gone at exit";
  EXPECT_EQ(user_path(), std::optional(expand_sz(splits ? installed_path : old_path)))
      << (splits ? "Path after removal (entries with the folder's ';' stay: none names it)"
                 : "Path after removal: the folder's entry gone, the rest unchanged");
  EXPECT_FALSE(key_exists(uninstall_key)) << "the uninstall key is gone";
  EXPECT_TRUE(removal.job->wait_empty(30000)) << "any command interpreter has ended";
  EXPECT_EQ(removal.job->seen_named(L"cmd.exe"), commands)
      << "the removal started " << commands << " command interpreter(s)";
  if (long_path) {
    SKIP_UNDER_WINE(
        "Wine's cmd cannot delete a path longer than MAX_PATH (its rmdir fails on uninstall.exe, "
        "which stays); Windows' removes the folder");
  }
  EXPECT_EQ(names_of(list_tree(folder)), row.left)
      << (row.left.empty() ? "the folder is gone" : "the folder stays, holding exactly these");
  if (row.left.empty()) {
    EXPECT_FALSE(exists(folder)) << "the folder is gone";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, OddLocalAppData, testing::ValuesIn(odd_rows),
                         [](const auto& row) { return std::string(row.param.name); });

// A LOCALAPPDATA whose last name ends in a space or a dot. The Win32 path rules drop such a
// character from the last name of a path, and Wine also from the names before it; what the
// program then finds is the platform's rule, not its own. The case asks the platform first, in
// a folder of its own, and expects the program's result for the rule it finds.
class LocalAppDataEndingIn : public BadInput, public testing::WithParamInterface<const char*> {};

TEST_P(LocalAppDataEndingIn, FollowsThePlatformsPathRule) {
  const std::wstring ending = GetParam() == std::string("space") ? L" " : L".";
  // The rule: what creating "<name><ending>" makes, and what creating a folder inside it gives.
  const std::wstring probe = root() + L"\\probe";
  ASSERT_TRUE(make_directories(probe));
  ASSERT_TRUE(CreateDirectoryW((probe + L"\\base" + ending).c_str(), nullptr));
  const std::vector<std::wstring> made = names_of(list_tree(probe));
  ASSERT_EQ(made.size(), 1u);
  const bool base_trimmed = made[0] == L"base";
  SetLastError(0);
  const bool inner_created = CreateDirectoryW((probe + L"\\base" + ending + L"\\inner").c_str(), nullptr);
  const DWORD inner_error = inner_created ? 0 : GetLastError();
  ASSERT_TRUE(remove_tree(probe));
  RecordProperty("rule", std::string(base_trimmed ? "last name trimmed" : "last name kept") +
                             (inner_created ? ", inner names trimmed" : ", inner names kept"));

  const std::wstring value = root() + L"\\Local data" + ending;
  const std::wstring folder = value + L"\\Programs\\Orvane Worker";
  const std::wstring base_on_disk = root() + L"\\Local data" + (base_trimmed ? L"" : ending);
  use_local_app_data(LocalAppData::exactly(value));
  const ProfileState before = snapshot();

  if (!inner_created) {
    // The base is made (as the platform names it); its subfolder then has no parent.
    const std::vector<std::string> stray = {folder_added(base_on_disk)};
    const SetupRun silent = run(L"/S");
    EXPECT_EQ(silent.status, 1u) << "silent install exits 1";
    expect_silent_output(silent, "failed silent install");
    EXPECT_EQ(changes(before, snapshot()), stray)
        << "the one change: the empty base folder; Path and registration untouched";
    const SetupRun asked = run(L"", {.answers = {Answer::Yes, Answer::Ok}});
    expect_box(asked, 0, BoxKind::Question, install_question(folder), "the question names it");
    expect_box(asked, 1, BoxKind::Error,
               failure_message(L"Cannot create " + folder + L": " + os_error(inner_error)),
               "then the error box");
    expect_box_count(asked, 2, "failed interactive install");
    EXPECT_EQ(asked.status, 1u) << "failed interactive install exits 1";
    EXPECT_EQ(changes(before, snapshot()), stray) << "still nothing else changed";
    return;
  }
  // The files land below the base as the platform names it; Path and the registration carry
  // the folder text as the program has it, and the removal (whose cmd follows the same rule)
  // takes the folder away.
  const std::wstring on_disk = base_on_disk + L"\\Programs\\Orvane Worker";
  EXPECT_EQ(run(L"/S").status, 0u) << "silent install";
  expect_installed_files(on_disk, "silent install, where the platform put it");
  EXPECT_EQ(user_path(), std::optional(expand_sz(folder))) << "Path holds the folder text";
  expect_registered(folder, "silent install");
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u) << "silent removal";
  EXPECT_EQ(user_path(), std::optional(expand_sz(L""))) << "Path loses the folder";
  expect_removed(on_disk, *removal.job, "silent removal");
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalAppDataEndingIn, testing::Values("space", "dot"),
                         [](const auto& row) { return std::string(row.param); });

// ---------------------------------------------------------------------------------------------
// Path values

size_t units(const std::wstring& text) { return text.size(); }

// 1,000 Path entries, about 32,000 UTF-16 units joined: spaces, double quotes, %VAR%
// references, trailing backslashes, non-ASCII, empty entries (leading and in runs), and the
// install folder written in ways that do not name it.
std::vector<std::wstring> thousand_entries(const std::wstring& folder) {
  auto number = [](int i) {
    wchar_t text[8];
    swprintf(text, 8, L"%03d", i);
    return std::wstring(text);
  };
  std::vector<std::wstring> entries;
  for (int i = 0; i < 1000; ++i) {
    switch (i % 7) {
      case 0: entries.push_back(L"C:\\Tools\\tool-" + number(i) + L"\\bin"); break;
      case 1:
        entries.push_back(L"C:\\Program Files\\Vendor " + number(i) + L"\\App  Two Spaces\\bin ");
        break;
      case 2: entries.push_back(L"\"C:\\Quoted Folder " + number(i) + L"\\bin\""); break;
      case 3:
        entries.push_back(i % 2 ? L"%USERPROFILE%\\tools\\" + number(i)
                                : L"%SystemRoot%\\x" + number(i));
        break;
      case 4: entries.push_back(L"D:\\trailing\\" + number(i) + L"\\\\"); break;
      case 5:
        entries.push_back(L"C:\\\u00dcn\u00efc\u00f8d\u00e9\\\u041f\u0440\u0438\u043c\u0435\u0440 " +
                          number(i) + L"\\\u4f8b\\\U0001F600");
        break;
      default: entries.push_back(L""); break;
    }
  }
  entries[0] = L"";  // a leading ";"
  entries[500] = entries[501] = entries[502] = L"";  // a run of empty entries
  std::wstring doubled = folder;
  for (size_t at = 0; (at = doubled.find(L'\\', at)) != std::wstring::npos; at += 2) {
    doubled.insert(at, L"\\");
  }
  std::wstring slashed = folder;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  const std::vector<std::wstring> near_misses = {
      folder + L"/", L" " + folder, folder + L" ", L"\"" + folder + L"\"", slashed, doubled,
      L"%LOCALAPPDATA%\\Programs\\Orvane Worker", folder + L"\\.", folder.substr(0, folder.size() - 1)};
  for (size_t k = 0; k < near_misses.size(); ++k) entries[101 + 97 * k] = near_misses[k];
  entries.back() = L"C:\\last";
  // Pad plain entries one unit at a time, spread over the list, to 32,000 units in all.
  size_t length = units(join(entries));
  for (size_t k = 1; length < 32000; k = k % 998 + 1) {
    if (entries[k].rfind(L"C:\\Tools\\", 0) == 0) {
      entries[k] += L"x";
      ++length;
    }
  }
  return entries;
}

TEST_F(BadInput, PathOf1000EntriesIsKeptByteForByte) {
  const std::vector<std::wstring> entries = thousand_entries(folder());
  const std::wstring old = join(entries);
  ASSERT_EQ(entries.size(), 1000u);
  RecordProperty("path_units", static_cast<int>(units(old)));
  set_user_path(expand_sz(old));
  EXPECT_EQ(run(L"/S").status, 0u) << "silent install";
  EXPECT_EQ(user_path(), std::optional(expand_sz(old + L";" + folder())))
      << "Path is the old value + ';' + the folder, byte for byte";
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u) << "silent removal";
  std::vector<std::wstring> kept;
  for (const std::wstring& e : entries) {
    if (!e.empty()) kept.push_back(e);
  }
  EXPECT_EQ(user_path(), std::optional(expand_sz(join(kept))))
      << "Path is the old value without its empty entries, byte for byte otherwise";
  expect_removed(folder(), *removal.job, "silent removal");
}

// Values the text carries unchanged are rewritten as REG_EXPAND_SZ with a terminator;
// references stay unexpanded, and one that means the folder does not name it.
TEST_F(BadInput, PathValuesThatAreTextAreRewrittenAsExpandSz) {
  const std::wstring references =
      L"%USERPROFILE%\\bin;%LOCALAPPDATA%\\Programs\\Orvane Worker;"
      L"%USERPROFILE%\\AppData\\Local\\Programs\\Orvane Worker;C:\\Tools";
  const struct {
    const char* name;
    RegValue stored;
    std::wstring text;  // what install appends to and removal gives back
  } rows[] = {
      {"reg_sz_with_references", sz(references), references},
      {"expand_sz_without_terminator", {REG_EXPAND_SZ, bytes_of_utf16(L"C:\\Tools;D:\\Bin")},
       L"C:\\Tools;D:\\Bin"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    set_user_path(row.stored);
    EXPECT_EQ(run(L"/S").status, 0u) << "silent install";
    EXPECT_EQ(user_path(), std::optional(expand_sz(row.text + L";" + folder())))
        << "install makes it REG_EXPAND_SZ, old text + ';' + folder, unexpanded";
    const SetupRun removal = run(L"--uninstall --silent");
    EXPECT_EQ(removal.status, 0u) << "silent removal";
    EXPECT_EQ(user_path(), std::optional(expand_sz(row.text)))
        << "removal gives back the old text, REG_EXPAND_SZ";
    expect_removed(folder(), *removal.job, "removal");
  }
}

TEST_F(BadInput, PathValuesThatAreNotTextAreLeftUntouched) {
  Bytes multi = string_bytes(L"C:\\Tools");
  const Bytes second = string_bytes(L"D:\\Bin");
  multi.insert(multi.end(), second.begin(), second.end());
  multi.push_back(0);
  multi.push_back(0);
  Bytes odd = string_bytes(L"C:\\Tools");
  odd.pop_back();
  Bytes trailing = string_bytes(L"C:\\Tools");
  const Bytes hidden = string_bytes(L"D:\\Hidden");
  trailing.insert(trailing.end(), hidden.begin(), hidden.end());
  const struct {
    const char* name;
    RegValue stored;
  } rows[] = {
      {"multi_sz", {REG_MULTI_SZ, multi}},
      {"binary", {REG_BINARY, string_bytes(L"C:\\Tools")}},
      {"none_type", {REG_NONE, string_bytes(L"C:\\Tools")}},
      {"odd_byte_count", {REG_EXPAND_SZ, odd}},
      {"lone_surrogate", {REG_EXPAND_SZ, string_bytes(L"C:\\Tools\xD800;D:\\Bin")}},
      {"data_after_terminator", {REG_SZ, trailing}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    set_user_path(row.stored);
    EXPECT_EQ(run(L"/S").status, 0u) << "silent install";
    EXPECT_EQ(user_path(), std::optional(row.stored))
        << "install leaves Path untouched (type and bytes)";
    expect_installed_files(folder(), "install");
    expect_registered(folder(), "install");
    const SetupRun removal = run(L"--uninstall --silent");
    EXPECT_EQ(removal.status, 0u) << "silent removal";
    EXPECT_EQ(user_path(), std::optional(row.stored))
        << "removal leaves Path untouched (type and bytes)";
    expect_removed(folder(), *removal.job, "removal");
  }
}

// ---------------------------------------------------------------------------------------------
// Command lines

// The program, arguments of every shape the splitter knows (quoted with spaces, escaped and
// doubled quotes, backslashes, near-miss switches, non-ASCII), then /S as the very last units:
// the longest command line, its terminator included.
std::wstring longest_line(const std::wstring& program) {
  const std::vector<std::wstring> shapes = {
      L"\"quoted argument with spaces\"", L"plain", L"a\\\\\\\"b", L"\"x\"\"y\"", L"-s", L"/s=1",
      L"\"/S \"", L"/uninstal", L"\u00fcn\u00ef", L"\U0001D11E", L"c:\\dir\\\\", L"\"\""};
  const size_t target = longest_command_line - 1 - 3;  // " /S" last
  std::wstring line = program;
  for (size_t k = 0; line.size() + 1 + shapes[k % shapes.size()].size() + 2 <= target; ++k) {
    line += L" " + shapes[k % shapes.size()];
  }
  line += L" " + std::wstring(target - line.size() - 1, L'x') + L" /S";
  return line;
}

TEST_F(BadInput, CommandLinesAtTheLimitAndNotValidUtf16) {
  const std::wstring program = L"\"" + setup_exe() + L"\"";
  const ProfileState before = snapshot();

  // /S followed by a lone high surrogate, as one argument: no switch, so the question comes.
  const SetupRun asked = run_line(program + L" /S\xD800", {.answers = {Answer::No}});
  expect_box(asked, 0, BoxKind::Question, install_question(folder()),
             "/S + U+D800 is no switch: the install question");
  expect_box_count(asked, 1, "/S + U+D800");
  EXPECT_EQ(asked.status, 0u) << "/S + U+D800, answered No: exit 0";
  EXPECT_EQ(changes(before, snapshot()), std::vector<std::string>{})
      << "/S + U+D800, answered No: nothing changed";

  const std::wstring line = longest_line(program);
  ASSERT_EQ(line.size() + 1, longest_command_line) << "the line with its terminator";
  const SetupRun longest = run_line(line);
  EXPECT_TRUE(longest.created && longest.status == 0)
      << "the longest command line, /S last: silent install, exit 0; "
      << testing::PrintToString(longest);
  expect_still_installed(folder(), folder(), "after the longest command line");

  // A lone low surrogate makes "--uninstall" no switch; the /S beside it still counts.
  const SetupRun not_removal = run_line(program + L" --uninstall\xDC00 /S");
  EXPECT_EQ(not_removal.status, 0u) << "--uninstall + U+DC00 and /S: exit 0 without a box; "
                                    << testing::PrintToString(not_removal);
  expect_still_installed(folder(), folder(), "--uninstall + U+DC00 installs, it does not remove");
}

// ---------------------------------------------------------------------------------------------
// Runs that overlap

TEST_F(BadInput, TwoInstallsAtTheSameMoment) {
  set_user_path(expand_sz(old_path));
  const std::wstring line = L"\"" + setup_exe() + L"\" /S";
  for (const char* what : {"on a clean profile", "over the installation", "over it once more"}) {
    SCOPED_TRACE(what);
    EXPECT_EQ(run_together({line, line}), exited({0, 0})) << "both exit 0";
    EXPECT_EQ(user_path(), std::optional(expand_sz(old_path + (L";" + folder()))))
        << "Path holds the folder exactly once";
    const std::vector<std::wstring> listing = names_of(list_tree(folder()));
    const std::vector<std::wstring> plain = {payload_name, uninstaller_name};
    const std::vector<std::wstring> with_old = {payload_name, L"orvane-worker.exe.old",
                                                uninstaller_name};
    EXPECT_TRUE(listing == plain || listing == with_old)
        << "the folder holds orvane-worker.exe, uninstall.exe and at most an .old copy: "
        << testing::PrintToString(listing);
    if (listing == with_old) RecordProperty(std::string("old_copy_left_") + what, "yes");
    EXPECT_TRUE(read_file(folder() + L"\\" + payload_name) == carried_program_bytes())
        << "orvane-worker.exe is byte for byte the carried program";
    EXPECT_TRUE(read_file(folder() + L"\\" + uninstaller_name) == setup_program_bytes())
        << "uninstall.exe is byte for byte the setup program";
    expect_registered(folder(), what);
  }
}

// A silent install right after a silent removal, while the removal's deferred command still
// waits: the command then deletes the new installation's folder; Path and the registration,
// written by the install, stay and name a folder that is gone. The case holds the command
// (suspends it) until the install has ended, so that the order does not depend on the load.
TEST_F(BadInput, InstallWhileARemovalIsPending) {
  ASSERT_EQ(run(L"/S").status, 0u) << "first silent install";
  const SetupRun removal = run(L"--uninstall --silent");
  EXPECT_EQ(removal.status, 0u) << "silent removal";
  const auto [processes, threads] = removal.job->hold(L"cmd.exe", true);
  ASSERT_TRUE(processes == 1 && threads > 0 && exists(folder() + L"\\" + uninstaller_name))
      << "the removal's deferred command is held before it reached rmdir: " << processes
      << " process(es), " << threads << " thread(s)";
  EXPECT_EQ(run(L"/S").status, 0u) << "silent install while the command is pending";
  expect_still_installed(folder(), folder(), "install while the command is pending");
  removal.job->hold(L"cmd.exe", false);
  ASSERT_TRUE(removal.job->wait_empty(30000)) << "the deferred command has run (waited 30 s)";
  EXPECT_FALSE(exists(folder())) << "end state: the pending command deleted the new folder";
  EXPECT_EQ(user_path(), std::optional(expand_sz(folder())))
      << "end state: Path still holds the folder";
  expect_registered(folder(), "end state: the registration stays");
  EXPECT_EQ(run(L"/S").status, 0u) << "a later silent install";
  expect_still_installed(folder(), folder(), "a later install repairs it");
}

}  // namespace
}  // namespace kit
