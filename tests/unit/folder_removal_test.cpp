#include "remove/folder_removal.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_platform.h"

namespace orvane {
namespace {

using testing::bytes_of;
using testing::FakePlatform;

const std::string folder_text = FakePlatform::folder_text;

TEST(FolderRemovalCommand, IsExact) {
  EXPECT_EQ(folder_removal_argument(folder_text),
            "/D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q \"" + folder_text + "\"");
  EXPECT_EQ(folder_removal_command_line(folder_text),
            u"\"cmd\" /D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q \"" + std::u16string(FakePlatform::folder) + u"\"");
  // Shell characters go through unchanged.
  EXPECT_EQ(folder_removal_argument("C:\\a&b^c%d%\\Orvane Worker"),
            "/D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q \"C:\\a&b^c%d%\\Orvane Worker\"");
}

TEST(FolderRemoval, StartsAWindowlessInterpreterAndClosesEveryHandle) {
  FakePlatform fake;
  schedule_folder_removal(fake.platform, folder_text);
  ASSERT_EQ(fake.processes.started.size(), 1u);
  const ProcessStart& start = fake.processes.started[0];
  EXPECT_EQ(start.application_name, u"C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(start.command_line, folder_removal_command_line(folder_text));
  EXPECT_TRUE(start.inherit_handles);
  EXPECT_EQ(start.creation_flags, 0x08000400u);
  EXPECT_EQ(start.startup.cb, 104u);
  EXPECT_EQ(start.startup.flags, 0u);  // no standard handles: no STARTF_USESTDHANDLES
  EXPECT_EQ(start.current_directory, std::optional<PlatformPath>(u"C:\\windows\\system32"));
  EXPECT_TRUE(fake.processes.open_handles().empty());
}

TEST(FolderRemoval, PassesInheritableCopiesOfExistingStandardHandles) {
  FakePlatform fake;
  fake.processes.std_handles[0] = invalid_handle;  // no input
  fake.processes.std_handles[1] = 0x44;
  fake.processes.std_handles[2] = 0x48;
  schedule_folder_removal(fake.platform, folder_text);
  ASSERT_EQ(fake.processes.started.size(), 1u);
  const StartupInfo& info = fake.processes.started[0].startup;
  EXPECT_EQ(info.flags, 0x100u);
  EXPECT_EQ(info.std_input, null_handle);
  EXPECT_NE(info.std_output, null_handle);
  EXPECT_NE(info.std_output, 0x44u);  // a duplicate, not our own handle
  EXPECT_NE(info.std_error, null_handle);
  EXPECT_EQ(fake.processes.duplicated, (std::vector<Handle>{0x44, 0x48}));
  EXPECT_TRUE(fake.processes.open_handles().empty());
}

// A launcher may hand over standard handle values this process never inherited: the stream whose
// handle cannot be duplicated is left out, and the command still starts with the others.
TEST(FolderRemoval, AStandardHandleThatCannotBeDuplicatedIsLeftOutAlone) {
  const Handle own[3] = {0x40, 0x44, 0x48};  // input, output, error
  const char16_t* const own_text[3] = {u"0x40", u"0x44", u"0x48"};
  struct Row {
    bool fails[3];     // whose duplicate fails: input, output, error
    Handle passed[3];  // whose copies reach CreateProcessW as input, output, error
    std::uint32_t flags;
  } rows[] = {
      {{false, false, false}, {0x40, 0x44, 0x48}, 0x100},
      {{true, false, false}, {null_handle, 0x44, 0x48}, 0x100},
      {{false, true, false}, {0x40, null_handle, 0x48}, 0x100},
      {{false, false, true}, {0x40, 0x44, null_handle}, 0x100},
      {{true, false, true}, {null_handle, 0x44, null_handle}, 0x100},
      {{true, true, true}, {null_handle, null_handle, null_handle}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "failing: " << row.fails[0] << row.fails[1]
                                      << row.fails[2]);
    FakePlatform fake;
    for (int k = 0; k < 3; ++k) {
      fake.processes.std_handles[k] = own[k];
      // 6, ERROR_INVALID_HANDLE: a value this process does not own.
      if (row.fails[k]) fake.faults.fail("duplicate_inheritable", 6, own_text[k]);
    }
    schedule_folder_removal(fake.platform, folder_text);
    ASSERT_EQ(fake.processes.started.size(), 1u);
    const StartupInfo& info = fake.processes.started[0].startup;
    const Handle slots[3] = {info.std_input, info.std_output, info.std_error};
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(k);
      if (row.passed[k] == null_handle) {
        EXPECT_EQ(slots[k], null_handle);
      } else {
        ASSERT_EQ(fake.processes.original_of.count(slots[k]), 1u) << "not a duplicate";
        EXPECT_EQ(fake.processes.original_of.at(slots[k]), row.passed[k]);
      }
    }
    EXPECT_EQ(info.flags, row.flags);
    for (const auto& [copy, original] : fake.processes.original_of) {
      EXPECT_EQ(std::count(fake.processes.closed.begin(), fake.processes.closed.end(), copy), 1)
          << "the duplicate of " << original << " is closed once";
    }
    EXPECT_TRUE(fake.processes.open_handles().empty());
  }
}

TEST(FolderRemoval, InterpreterSearchNeverLooksBesideTheSetupProgram) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    std::optional<std::u16string> found;
  } cases[] = {
      {"system folder first", [](FakePlatform&) {}, u"C:\\windows\\system32\\cmd.exe"},
      {"then the Windows folder",
       [](FakePlatform& f) {
         f.processes.system_folder = u"C:\\nowhere";
         f.files.add_file(u"C:\\windows\\cmd.exe");
       },
       u"C:\\windows\\cmd.exe"},
      {"then PATH, quotes dropped, split outside quotes",
       [](FakePlatform& f) {
         f.processes.system_folder = f.processes.windows_folder = u"C:\\nowhere";
         f.process.environment[u"PATH"] = u";;\"C:\\a;b\";C:\\tools";
         f.files.add_file(u"C:\\a;b\\cmd.exe");
       },
       u"C:\\a;b\\cmd.exe"},
      {"never the program's own folder",
       [](FakePlatform& f) {
         f.processes.system_folder = f.processes.windows_folder = u"C:\\nowhere";
         f.process.environment.erase(u"PATH");
       },
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform f;
    // A cmd.exe planted beside the setup program, as a download site could.
    f.files.add_file(u"C:\\Users\\Owner\\Downloads\\cmd.exe", bytes_of("evil"));
    c.arrange(f);
    EXPECT_EQ(find_command_interpreter(f.platform), c.found);
    schedule_folder_removal(f.platform, folder_text);
    EXPECT_EQ(f.processes.started.size(), c.found ? 1u : 0u);
    if (c.found) {
      EXPECT_EQ(f.processes.started[0].application_name, *c.found);
      EXPECT_EQ(f.processes.started[0].command_line.substr(0, 6), u"\"cmd\" ");
    }
  }
}

TEST(FolderRemoval, OnlyFoldersCmdTakesLiterallyGetACommand) {
  struct Case {
    const char* folder;
    bool started;
  } cases[] = {
      {"C:\\x\" & del /q C:\\important & \"\\Orvane Worker", false},  // would end the quotes
      {"C:\\a%USERPROFILE%b\\Programs\\Orvane Worker", false},           // cmd expands it
      {"C:\\50%\\Programs\\Orvane Worker", false},
      {"C:\\a&b^c (x) ;d\\Programs\\Orvane Worker", true},               // literal between quotes
      {"C:\\a!USERPROFILE!b\\Programs\\Orvane Worker", true},            // literal under /V:OFF
      {"C:\\\xE6\x97\xA5\xD0\x96\xF0\x9F\x98\x80\\Programs\\Orvane Worker", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    FakePlatform fake;
    schedule_folder_removal(fake.platform, c.folder);
    EXPECT_EQ(fake.processes.started.size(), c.started ? 1u : 0u);
  }
}

TEST(FolderRemoval, RelativeFolderKeepsOurCurrentDirectory) {
  for (const char* relative : {"Programs\\Orvane Worker", "C:Programs\\Orvane Worker", "\\Programs\\Orvane Worker"}) {
    SCOPED_TRACE(relative);
    FakePlatform fake;
    schedule_folder_removal(fake.platform, relative);
    ASSERT_EQ(fake.processes.started.size(), 1u);
    EXPECT_EQ(fake.processes.started[0].current_directory, std::nullopt);
  }
  FakePlatform unc;
  schedule_folder_removal(unc.platform, "\\\\server\\share\\Programs\\Orvane Worker");
  EXPECT_TRUE(unc.processes.started.at(0).current_directory.has_value());
}

TEST(FolderRemoval, FailuresAreSilentAndLeakNothing) {
  // Find each call of a clean start, then fail it alone.
  FakePlatform clean;
  clean.processes.std_handles[0] = 0x40;
  clean.processes.std_handles[1] = 0x44;
  schedule_folder_removal(clean.platform, folder_text);
  const auto& calls = clean.faults.calls();
  for (std::size_t k = 0; k < calls.size(); ++k) {
    const std::string& op = calls[k].operation;
    if (op == "close_handle") continue;
    SCOPED_TRACE(std::to_string(k) + " " + op);
    FakePlatform fake;
    fake.processes.std_handles[0] = 0x40;
    fake.processes.std_handles[1] = 0x44;
    fake.faults.fail_call_number(k, 5);
    schedule_folder_removal(fake.platform, folder_text);
    if (op == "duplicate_inheritable") {
      EXPECT_EQ(fake.processes.started.size(), 1u) << "started without that one stream";
    }
    if (op == "create_process") {
      EXPECT_TRUE(fake.processes.started.empty());
    }
    EXPECT_TRUE(fake.processes.open_handles().empty());
  }
}

}  // namespace
}  // namespace orvane
