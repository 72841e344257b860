#include "remove/folder_removal.h"

#include <gtest/gtest.h>

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
    const bool must_not_start = op == "duplicate_inheritable" || op == "create_process";
    if (must_not_start) {
      EXPECT_TRUE(fake.processes.started.empty());
    }
    EXPECT_TRUE(fake.processes.open_handles().empty());
  }
}

}  // namespace
}  // namespace orvane
