// Runs each of the four jobs once to record its platform calls, then again once per call and
// per failure that call can really give, with that one call failing. Whatever fails, the exit
// status tells the truth, the boxes are the expected ones, nothing done is undone, no handle
// leaks, and every entry of the user's Path survives in order with the folder at most once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "entry/run_setup.h"
#include "fakes/fake_platform.h"
#include "install/install.h"
#include "user_registry/registry_access.h"
#include "user_registry/user_path.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

using testing::FakePlatform;

enum class Job { InteractiveInstall, SilentInstall, InteractiveRemoval, SilentRemoval };
const char* name(Job job) {
  switch (job) {
    case Job::InteractiveInstall: return "interactive install";
    case Job::SilentInstall: return "silent install";
    case Job::InteractiveRemoval: return "interactive removal";
    case Job::SilentRemoval: return "silent removal";
  }
  return "";
}
bool installs(Job job) { return job == Job::InteractiveInstall || job == Job::SilentInstall; }
bool silent(Job job) { return job == Job::SilentInstall || job == Job::SilentRemoval; }

const std::string folder_text = FakePlatform::folder_text;
const std::u16string folder = FakePlatform::folder;
const std::vector<std::string> user_entries = {"C:\\Windows\\system32", "%USERPROFILE%\\bin",
                                               "D:\\tools\\", "C:\\\xC3\xA9t\xC3\xA9"};

std::vector<std::string> split(const std::string& value) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = value.find(';', start)) != std::string::npos; start = end + 1) {
    out.push_back(value.substr(start, end - start));
  }
  out.push_back(value.substr(start));
  return out;
}

std::unique_ptr<FakePlatform> prepare(Job job) {
  auto f = std::make_unique<FakePlatform>();
  f->registry.put_string(u"Environment", u"Path", "C:\\Windows\\system32;%USERPROFILE%\\bin;;D:\\tools\\;C:\\\xC3\xA9t\xC3\xA9",
                         win32::reg_expand_sz);
  if (!installs(job)) {
    if (!run_install(f->platform, FakePlatform::folder, true).ok()) return nullptr;
    f->faults = testing::FaultInjector();
    f->broadcast.sent.clear();
  }
  const char16_t* lines[] = {u"setup.exe", u"setup.exe /S", u"setup.exe --uninstall",
                             u"setup.exe --uninstall --silent"};
  f->process.line = lines[static_cast<int>(job)];
  f->dialogs.answers = {win32::idyes, 1};
  return f;
}

std::vector<std::uint32_t> failures_for(const std::string& op) {
  if (op == "path_exists" || op == "is_directory" || op == "make_directory" || op == "rename_replacing" ||
      op == "write_whole_file" || op == "delete_file" || op == "copy_file_replacing") {
    return {win32::error_file_not_found, win32::error_access_denied, win32::error_sharing_violation,
            win32::error_already_exists, win32::error_disk_full};
  }
  // ERROR_FILE_NOT_FOUND from a query means the value is missing, which it is not here.
  if (op == "query_value") return {win32::error_access_denied, win32::error_more_data, 6};
  if (op == "message_box") return {0, 0xFFFFFFFF};
  return {win32::error_file_not_found, win32::error_access_denied};
}

std::string path_text(FakePlatform& f) {
  const auto* value = f.registry.get(u"Environment", u"Path");
  if (!value) return "";
  std::u16string units(value->bytes.size() / 2, 0);
  std::memcpy(units.data(), value->bytes.data(), units.size() * 2);
  return from_wide_lossy(units.substr(0, units.find(u'\0')));
}

void check_run(Job job, const std::string& op, std::uint32_t code, bool failed_first_box, int status,
               FakePlatform& f) {
  // Exit status: 1 only for a failed file step of an install.
  const bool file_step = op == "make_directory" || op == "write_whole_file" || op == "running_executable_path";
  if (!installs(job) || !file_step) {
    EXPECT_EQ(status, 0);
  }
  if (installs(job) && op == "write_whole_file" && !failed_first_box) {
    EXPECT_EQ(status, 1);
  }

  // Boxes.
  std::vector<std::uint32_t> styles;
  for (const auto& shown : f.dialogs.shown) styles.push_back(shown.style);
  if (silent(job)) {
    EXPECT_TRUE(styles.empty());
  } else if (failed_first_box) {
    EXPECT_EQ(styles, std::vector<std::uint32_t>{0x24});
    EXPECT_EQ(f.faults.count("make_directory") + f.faults.count("delete_tree"), 0u) << "changed after No";
  } else {
    EXPECT_EQ(styles, (std::vector<std::uint32_t>{0x24, status == 0 ? 0x40u : 0x10u}));
  }
  if (status == 1) {
    const std::string expected_prefix = op == "make_directory" ? "Cannot create " + folder_text + ": "
                                        : op == "write_whole_file" ? "Cannot write " + folder_text + "\\orvane-worker.exe: "
                                                                   : "";
    const std::string ending = " (os error " + std::to_string(code) + ")";
    if (!silent(job)) {
      const std::string& text = f.dialogs.shown.back().text;
      EXPECT_EQ(text.rfind("Setup could not finish.\r\n\r\n" + expected_prefix, 0), 0u) << text;
      EXPECT_TRUE(text.ends_with(ending)) << text;
    }
    EXPECT_EQ(f.faults.count("create_key"), 0u) << "registry touched after a failed file step";
  }

  // Nothing undone: a successful install leaves the carried file in place.
  if (installs(job) && status == 0 && !failed_first_box) {
    // A failed LOCALAPPDATA lookup falls back to the shell's answer, the same folder here.
    EXPECT_TRUE(f.files.exists(folder + u"\\orvane-worker.exe"));
  }

  // The user's Path: every entry still there, in order; the folder at most once.
  std::vector<std::string> kept;
  std::size_t folder_entries = 0;
  for (const std::string& e : split(path_text(f))) {
    if (same_path_entry(e, folder_text)) {
      ++folder_entries;
    } else if (!e.empty()) {
      kept.push_back(e);
    }
  }
  EXPECT_EQ(kept, user_entries);
  EXPECT_LE(folder_entries, 1u);

  // No leaks.
  EXPECT_EQ(f.registry.open_handles(), 0u);
  EXPECT_EQ(f.registry.bad_closes(), 0u);
  EXPECT_TRUE(f.processes.open_handles().empty());
}

TEST(FaultSweep, EveryCallFailingInTurn) {
  std::size_t runs = 0;
  for (Job job : {Job::InteractiveInstall, Job::SilentInstall, Job::InteractiveRemoval, Job::SilentRemoval}) {
    std::unique_ptr<FakePlatform> clean = prepare(job);
    ASSERT_TRUE(clean);
    ASSERT_EQ(run_setup(clean->platform), 0) << name(job);
    const std::vector<testing::FaultInjector::Call> calls = clean->faults.calls();
    ASSERT_FALSE(calls.empty());

    for (std::size_t k = 0; k < calls.size(); ++k) {
      if (calls[k].operation == "command_line") continue;  // GetCommandLineW cannot fail
      for (std::uint32_t code : failures_for(calls[k].operation)) {
        SCOPED_TRACE(std::string(name(job)) + ": call " + std::to_string(k) + " " + calls[k].operation + " " +
                     from_wide_lossy(calls[k].subject) + " fails with " + std::to_string(code));
        std::unique_ptr<FakePlatform> f = prepare(job);
        f->faults.fail_call_number(k, code);
        const int status = run_setup(f->platform);
        const bool first_box = calls[k].operation == "message_box" &&
                               std::count_if(calls.begin(), calls.begin() + static_cast<long>(k),
                                             [](const auto& c) { return c.operation == "message_box"; }) == 0;
        check_run(job, calls[k].operation, code, first_box, status, *f);
        ++runs;
      }
    }
  }
  std::printf("[ faults   ] %zu (job, call, failure) runs\n", runs);
  EXPECT_GT(runs, 200u);
}

}  // namespace
}  // namespace orvane
