#include "setup_case.h"

#include <algorithm>
#include <cwctype>

namespace kit {
namespace {

ProfileGuard* the_guard = nullptr;

const Bytes& bytes_of_kit_file(const std::wstring& path, std::optional<Bytes>* cache) {
  if (!*cache) *cache = read_file(path).value_or(Bytes{});
  return **cache;
}

std::string box_summary(const std::vector<Box>& boxes) {
  std::string text;
  for (const Box& box : boxes) text += "\n  [" + utf8(box.caption) + "] " + utf8(box.text);
  return text.empty() ? " (none)" : text;
}

struct KindShape {
  std::vector<int> buttons;
  const char* icon;
  int default_button;
};

KindShape shape_of(BoxKind kind) {
  switch (kind) {
    case BoxKind::Question: return {{IDYES, IDNO}, "question", IDYES};
    case BoxKind::Information: return {{IDOK}, "information", IDOK};
    case BoxKind::Error: return {{IDOK}, "error", IDOK};
  }
  return {};
}

}  // namespace

bool runs_on_wine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void set_guard(ProfileGuard* guard) { the_guard = guard; }

std::wstring kit_setup_path() { return own_folder() + L"\\orvane-worker-setup.exe"; }

const Bytes& setup_program_bytes() {
  static std::optional<Bytes> cache;
  return bytes_of_kit_file(kit_setup_path(), &cache);
}

const Bytes& carried_program_bytes() {
  static std::optional<Bytes> cache;
  return bytes_of_kit_file(own_folder() + L"\\carried\\orvane-worker.exe", &cache);
}

std::wstring kit_helper(const std::wstring& name) { return own_folder() + L"\\helpers\\" + name; }

std::wstring system_message(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  LocalFree(text);
  while (!message.empty() && std::iswspace(message.back())) message.pop_back();
  return message;
}

std::wstring os_error(DWORD code) {
  return system_message(code) + L" (os error " + std::to_wstring(code) + L")";
}

std::wstring system_folder() {
  wchar_t path[MAX_PATH + 1];
  return std::wstring(path, GetSystemDirectoryW(path, MAX_PATH + 1));
}

void PrintTo(const SetupRun& run, std::ostream* out) {
  *out << "{created " << run.created << " (error " << run.create_error << "), ended " << run.ended
       << ", status " << run.status << ", " << run.answered << " of " << run.boxes.size()
       << " boxes answered" << (run.problem.empty() ? "" : ", " + run.problem) << "}";
}

void SetupCase::SetUp() {
  ASSERT_NE(the_guard, nullptr) << "the profile guard is not in place";
  root_ = the_guard->new_case_folder();
  ASSERT_TRUE(make_directories(case_local_app_data()) && make_directories(work()) &&
              make_directories(root_ + L"\\logs"))
      << "cannot create the case's folders below " << utf8(root_);
  ASSERT_FALSE(setup_program_bytes().empty())
      << "no setup program at " << utf8(kit_setup_path());
  ASSERT_FALSE(carried_program_bytes().empty()) << "no carried\\orvane-worker.exe in the kit";
  ASSERT_TRUE(write_file(setup_exe(), setup_program_bytes())) << "cannot place the setup program";
  // Every case starts on a clean profile, as on a new account: no user Path, no uninstall entry.
  // The guard puts the user's own back after the case.
  const LONG path = delete_value(environment_key, L"Path");
  ASSERT_TRUE(path == ERROR_SUCCESS || path == ERROR_FILE_NOT_FOUND) << "status " << path;
  const LONG entry = delete_tree(uninstall_key);
  ASSERT_TRUE(entry == ERROR_SUCCESS || entry == ERROR_FILE_NOT_FOUND) << "status " << entry;
}

void SetupCase::TearDown() {
  for (const std::shared_ptr<Job>& job : jobs_) job->terminate();
  jobs_.clear();
  if (the_guard == nullptr) return;
  const std::string problems = the_guard->restore();
  EXPECT_EQ(problems, "") << "the profile could not be put back after the case";
  bool removed = false;
  for (int attempt = 0; attempt < 20 && !(removed = remove_tree(root_)); ++attempt) Sleep(100);
  EXPECT_TRUE(removed) << "the case's folder could not be removed: " << utf8(root_);
}

EnvironmentBlock SetupCase::environment_for(const std::optional<LocalAppData>& choice) const {
  const LocalAppData& value = choice ? *choice : local_app_data_;
  switch (value.kind) {
    case LocalAppData::Kind::Case: return environment_with(case_local_app_data());
    case LocalAppData::Kind::Unset: return environment_with(std::nullopt);
    case LocalAppData::Kind::Exactly: return environment_with(value.text);
  }
  return environment_with(case_local_app_data());
}

SetupRun SetupCase::run(const std::wstring& arguments, RunOptions options) {
  const std::wstring exe = options.exe.empty() ? setup_exe() : options.exe;
  return run_line(L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments),
                  std::move(options));
}

SetupRun SetupCase::run_line(const std::wstring& line, RunOptions options) {
  SetupRun run;
  run.job = std::make_shared<Job>();
  jobs_.push_back(run.job);
  EnvironmentBlock environment = environment_for(options.local_app_data);
  for (const auto& [name, value] : options.variables) set_variable(environment, name, value);
  const std::wstring logs = root_ + L"\\logs\\" + std::to_wstring(++runs_);
  Job::Start start;
  if (!options.from_command_line) start.application = options.exe.empty() ? setup_exe() : options.exe;
  start.command_line = line;
  start.directory = options.directory.empty() ? work() : options.directory;
  start.environment = &environment;
  if (options.std_handles) {
    start.output_file = logs + L".out";
    start.error_file = logs + L".err";
  }
  const std::optional<size_t> index = run.job->start(start, &run.create_error);
  if (!index) return run;
  run.created = true;

  const DWORD begin = GetTickCount();
  for (;;) {
    const bool ended = run.job->ended(*index);
    const std::vector<HWND> windows = dialog_windows_of(run.job->running());
    if (!windows.empty()) {
      Sleep(50);  // let the box finish its WM_INITDIALOG work before reading it
      if (!IsWindow(windows[0])) continue;
      run.boxes.push_back(describe_box(windows[0]));
      const size_t n = run.boxes.size() - 1;
      if (n >= options.answers.size()) {
        run.problem = "a box came up that the case has no answer for";
        break;
      }
      if (options.before_press) options.before_press(n, run.boxes.back(), *run.job);
      const std::string problem = answer_box(windows[0], options.answers[n]);
      if (!problem.empty()) {
        run.problem = "box " + std::to_string(n + 1) + ": " + problem;
        break;
      }
      ++run.answered;
      continue;
    }
    if (ended) break;
    if (GetTickCount() - begin > options.timeout_ms) {
      run.problem = "still running after " + std::to_string(options.timeout_ms / 1000) + " s";
      break;
    }
    Sleep(20);
  }
  if (!run.problem.empty()) {
    run.problem += "; boxes seen:" + box_summary(run.boxes);
    if (!run.job->ended(*index)) run.job->terminate();
  }
  run.ended = run.job->ended(*index);
  run.status = run.job->exit_status(*index);
  if (options.std_handles) {
    run.out = bytes_text(read_file(logs + L".out").value_or(Bytes{}));
    run.err = bytes_text(read_file(logs + L".err").value_or(Bytes{}));
  }
  return run;
}

std::vector<SetupCase::Child> SetupCase::run_together(const std::vector<std::wstring>& lines) {
  auto job = std::make_shared<Job>();
  jobs_.push_back(job);
  const EnvironmentBlock environment = environment_for(std::nullopt);
  std::vector<Child> children(lines.size());
  std::vector<std::optional<size_t>> indices;
  for (size_t k = 0; k < lines.size(); ++k) {
    Job::Start start;
    start.application = setup_exe();
    start.command_line = lines[k];
    start.directory = work();
    start.environment = &environment;
    indices.push_back(job->create(start, &children[k].error));
    children[k].created = indices.back().has_value();
  }
  job->resume();
  for (size_t k = 0; k < lines.size(); ++k) {
    if (!indices[k]) continue;
    if (job->wait(*indices[k], 60000)) children[k].status = job->exit_status(*indices[k]);
  }
  return children;
}

std::vector<SetupCase::Child> SetupCase::exited(std::vector<DWORD> statuses) {
  std::vector<Child> children;
  for (DWORD s : statuses) children.push_back({true, 0, s});
  return children;
}

Job::Start SetupCase::console_start(const std::wstring& application, const std::wstring& line,
                                    const EnvironmentBlock& environment) {
  Job::Start start;
  start.application = application;
  start.command_line = line;
  start.directory = work();
  start.environment = &environment;
  start.flags = CREATE_NO_WINDOW;
  const std::wstring logs = root_ + L"\\logs\\" + std::to_wstring(++runs_);
  start.output_file = logs + L".out";
  start.error_file = logs + L".err";
  return start;
}

std::shared_ptr<Job> SetupCase::start_background(const std::wstring& line,
                                                 const EnvironmentBlock* env) {
  auto job = std::make_shared<Job>();
  jobs_.push_back(job);
  const EnvironmentBlock environment = environment_for(std::nullopt);
  DWORD error = 0;
  EXPECT_TRUE(job->start(console_start(L"", line, env != nullptr ? *env : environment), &error)
                  .has_value())
      << "cannot start " << utf8(line) << " (error " << error << ")";
  return job;
}

SetupCase::ConsoleRun SetupCase::run_console(const std::wstring& application,
                                             const std::wstring& line, const EnvironmentBlock* env,
                                             DWORD timeout_ms) {
  ConsoleRun result;
  Job job;
  const EnvironmentBlock environment = environment_for(std::nullopt);
  const Job::Start start = console_start(application, line, env != nullptr ? *env : environment);
  DWORD error = 0;
  const std::optional<size_t> index = job.start(start, &error);
  EXPECT_TRUE(index.has_value()) << "cannot start " << utf8(line) << " (error " << error << ")";
  if (!index) return result;
  result.ended = job.wait(*index, timeout_ms);
  result.status = job.exit_status(*index);
  result.seen = job.seen();
  job.terminate();
  result.out = bytes_text(read_file(start.output_file).value_or(Bytes{}));
  result.err = bytes_text(read_file(start.error_file).value_or(Bytes{}));
  return result;
}

void SetupCase::set_user_path(const RegValue& value) {
  ASSERT_EQ(set_value(environment_key, L"Path", value), ERROR_SUCCESS);
  ASSERT_EQ(user_path(), std::optional<RegValue>(value)) << "the case stored Path as it is";
}

void SetupCase::expect_box(const SetupRun& run, size_t index, BoxKind kind,
                           const std::wstring& text, const std::string& what) {
  ASSERT_GT(run.boxes.size(), index) << what << ": the box appears; boxes seen:"
                                     << box_summary(run.boxes) << "\n" << run.problem;
  const Box& box = run.boxes[index];
  const KindShape shape = shape_of(kind);
  EXPECT_EQ(box.caption, caption) << what << ": caption";
  EXPECT_EQ(box.text, text) << what << ": text";
  EXPECT_EQ(box.buttons, shape.buttons) << what << ": buttons";
  EXPECT_EQ(box.icon, shape.icon) << what << ": icon";
  EXPECT_EQ(box.default_button, shape.default_button) << what << ": default button";
}

void SetupCase::expect_box_count(const SetupRun& run, size_t count, const std::string& what) {
  EXPECT_TRUE(run.boxes.size() == count && run.answered == count && run.problem.empty())
      << what << ": exactly " << count << " box(es), each answered; " << testing::PrintToString(run)
      << "; boxes seen:" << box_summary(run.boxes);
}

void SetupCase::expect_silent_output(const SetupRun& run, const std::string& what) {
  EXPECT_EQ(run.out, "") << what << ": writes nothing to standard output";
  EXPECT_EQ(run.err, "") << what << ": writes nothing to standard error";
}

void SetupCase::expect_installed_files(const std::wstring& folder, const std::string& what) {
  const std::optional<Listing> listing = list_tree(folder);
  EXPECT_EQ(names_of(listing), (std::vector<std::wstring>{payload_name, uninstaller_name}))
      << what << ": the folder " << utf8(folder) << " holds exactly these two files";
  if (!listing) return;
  const std::optional<Bytes> placed = read_file(folder + L"\\" + payload_name);
  EXPECT_TRUE(placed == carried_program_bytes())
      << what << ": orvane-worker.exe is byte for byte the carried program ("
      << (placed ? placed->size() : 0) << " bytes placed, " << carried_program_bytes().size()
      << " carried)";
  const std::optional<Bytes> copy = read_file(folder + L"\\" + uninstaller_name);
  EXPECT_TRUE(copy == setup_program_bytes())
      << what << ": uninstall.exe is byte for byte the setup program ("
      << (copy ? copy->size() : 0) << " bytes placed, " << setup_program_bytes().size()
      << " in the setup program)";
}

void SetupCase::expect_registered(const std::wstring& folder, const std::string& what) {
  const std::optional<KeyContents> entry = read_key(uninstall_key);
  ASSERT_TRUE(entry.has_value()) << what << ": the uninstall key exists";
  const std::wstring uninstaller = folder + L"\\" + uninstaller_name;
  const std::vector<NamedValue> expected = {
      {L"DisplayName", sz(L"Orvane Worker")},
      {L"DisplayVersion", sz(L"0.2.3")},
      {L"Publisher", sz(L"Pellinor Private Limited")},
      {L"InstallLocation", sz(folder)},
      {L"DisplayIcon", sz(folder + L"\\" + payload_name)},
      {L"UninstallString", sz(L"\"" + uninstaller + L"\" --uninstall")},
      {L"QuietUninstallString", sz(L"\"" + uninstaller + L"\" --uninstall --silent")},
      {L"NoModify", dword(1)},
      {L"NoRepair", dword(1)},
  };
  std::vector<std::wstring> names, expected_names;
  for (const NamedValue& v : entry->values) names.push_back(v.name);
  for (const NamedValue& v : expected) expected_names.push_back(v.name);
  std::sort(names.begin(), names.end());
  std::sort(expected_names.begin(), expected_names.end());
  EXPECT_EQ(names, expected_names) << what << ": the uninstall key has exactly the nine values";
  for (const NamedValue& v : expected) {
    EXPECT_EQ(value_named(*entry, v.name), std::optional<RegValue>(v.value))
        << what << ": " << utf8(v.name);
  }
  EXPECT_EQ(entry->subkeys, std::vector<std::wstring>{}) << what << ": the key has no subkeys";
}

void SetupCase::expect_removed(const std::wstring& folder, Job& job, const std::string& what) {
  EXPECT_FALSE(key_exists(uninstall_key)) << what << ": the uninstall key is gone";
  EXPECT_TRUE(job.wait_empty(30000)) << what << ": the deferred command ends (waited 30 s)";
  EXPECT_FALSE(exists(folder)) << what << ": the install folder is gone; left:"
                               << testing::PrintToString(names_of(list_tree(folder)));
}

ProfileState SetupCase::snapshot() const {
  ProfileState state;
  state.files = list_tree(root_);
  if (state.files) {
    for (auto it = state.files->begin(); it != state.files->end();) {
      it = it->first == L"logs" || it->first.rfind(L"logs\\", 0) == 0 ? state.files->erase(it)
                                                                         : std::next(it);
    }
  }
  state.environment = read_key(environment_key);
  if (std::optional<KeyContents> parent = read_key(uninstall_parent_key)) {
    state.uninstall_entries = parent->subkeys;
    std::sort(state.uninstall_entries.begin(), state.uninstall_entries.end());
  }
  state.product_key = read_tree(uninstall_key);
  return state;
}

std::vector<std::string> SetupCase::changes(const ProfileState& before, const ProfileState& after) {
  std::vector<std::string> found;
  const Listing none;
  const Listing& old_files = before.files ? *before.files : none;
  const Listing& new_files = after.files ? *after.files : none;
  for (const auto& [path, what] : old_files) {
    auto it = new_files.find(path);
    if (it == new_files.end()) {
      found.push_back("file " + utf8(path) + ": " + what + " -> (gone)");
    } else if (it->second != what) {
      found.push_back("file " + utf8(path) + ": " + what + " -> " + it->second);
    }
  }
  for (const auto& [path, what] : new_files) {
    if (old_files.count(path) == 0) found.push_back("file " + utf8(path) + ": (none) -> " + what);
  }
  const KeyContents empty;
  const KeyContents& old_env = before.environment ? *before.environment : empty;
  const KeyContents& new_env = after.environment ? *after.environment : empty;
  auto names = [](const KeyContents& key) {
    std::vector<std::wstring> list;
    for (const NamedValue& v : key.values) list.push_back(v.name);
    return list;
  };
  std::vector<std::wstring> all = names(old_env);
  for (const std::wstring& n : names(new_env)) all.push_back(n);
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  for (const std::wstring& name : all) {
    const std::optional<RegValue> a = value_named(old_env, name), b = value_named(new_env, name);
    if (a != b) {
      found.push_back("value HKCU\\Environment [" + utf8(name) + "]: " + shown(a) + " -> " +
                      shown(b));
    }
  }
  if (before.uninstall_entries != after.uninstall_entries) {
    found.push_back("the entries below the Uninstall key: " +
                    testing::PrintToString(before.uninstall_entries) + " -> " +
                    testing::PrintToString(after.uninstall_entries));
  }
  const bool same_key = before.product_key.has_value() == after.product_key.has_value() &&
                        (!before.product_key || same_tree(*before.product_key, *after.product_key));
  if (!same_key) {
    found.push_back("the uninstall key: " + describe_tree(before.product_key) + " -> " +
                    describe_tree(after.product_key));
  }
  return found;
}

std::string SetupCase::folder_added(const std::wstring& path) const {
  return "file " + utf8(path.substr(root_.size() + 1)) + ": (none) -> dir";
}

}  // namespace kit
