#include "install/install.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "install/uninstall_entry.h"
#include "user_registry/registry_access.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

using testing::FakePlatform;
using testing::FakeRegistry;

const std::u16string folder = FakePlatform::folder;
const std::string folder_text = FakePlatform::folder_text;
const std::u16string uninstall_key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker";

std::vector<std::uint8_t> sz(std::u16string_view s) {
  std::vector<std::uint8_t> out;
  for (char16_t u : s) out.push_back(static_cast<std::uint8_t>(u & 0xFF)), out.push_back(static_cast<std::uint8_t>(u >> 8));
  out.push_back(0), out.push_back(0);
  return out;
}

TEST(UninstallEntry, WritesNineValuesInOrder) {
  FakeRegistry registry;
  write_uninstall_entry(registry, folder_text, folder + u"\\uninstall.exe");
  const std::u16string f = folder;
  const struct {
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
  } expected[] = {
      {u"DisplayName", 1, sz(u"Orvane Worker")},
      {u"DisplayVersion", 1, sz(u"0.2.3")},
      {u"Publisher", 1, sz(u"Pellinor Private Limited")},
      {u"InstallLocation", 1, sz(f)},
      {u"DisplayIcon", 1, sz(f + u"\\orvane-worker.exe")},
      {u"UninstallString", 1, sz(u"\"" + f + u"\\uninstall.exe\" --uninstall")},
      {u"QuietUninstallString", 1, sz(u"\"" + f + u"\\uninstall.exe\" --uninstall --silent")},
      {u"NoModify", 4, {1, 0, 0, 0}},
      {u"NoRepair", 4, {1, 0, 0, 0}},
  };
  const std::vector<FakeRegistry::Value> values = registry.values(uninstall_key);
  ASSERT_EQ(values.size(), 9u);
  for (std::size_t k = 0; k < 9; ++k) {
    SCOPED_TRACE(from_wide_lossy(expected[k].name));
    EXPECT_EQ(values[k].name, expected[k].name);
    EXPECT_EQ(values[k].type, expected[k].type);
    EXPECT_EQ(values[k].bytes, expected[k].bytes);
  }
  EXPECT_EQ(registry.open_handles(), 0u);
}

TEST(UninstallEntry, OverwritesAnOlderEntryAndKeepsForeignValues) {
  FakeRegistry registry;
  registry.put_string(uninstall_key, u"DisplayVersion", "0.1.0", win32::reg_sz);
  registry.put_string(uninstall_key, u"Comments", "added by someone", win32::reg_sz);
  write_uninstall_entry(registry, folder_text, folder + u"\\uninstall.exe");
  EXPECT_EQ(registry.get(uninstall_key, u"DisplayVersion")->bytes, sz(u"0.2.3"));
  EXPECT_EQ(registry.get(uninstall_key, u"Comments")->bytes, sz(u"added by someone"));
}

TEST(UninstallEntry, FailedWritesDoNotStopTheRest) {
  testing::FaultInjector faults;
  FakeRegistry registry(&faults);
  faults.fail("set_value", 5, u"Publisher");
  write_uninstall_entry(registry, folder_text, folder + u"\\uninstall.exe");
  EXPECT_EQ(registry.values(uninstall_key).size(), 8u);
  EXPECT_EQ(registry.get(uninstall_key, u"Publisher"), nullptr);
}

struct Install : ::testing::Test {
  FakePlatform fake;
  std::vector<std::string> steps() {
    std::vector<std::string> out;
    for (const auto& c : fake.faults.calls()) {
      const std::string& op = c.operation;
      if (op == "make_directory" || op == "write_whole_file" || op == "copy_file_replacing" ||
          op == "send_message_timeout" || op == "message_box" ||
          (op == "set_value" && (c.subject == u"Path" || c.subject == u"DisplayName"))) {
        out.push_back(op + " " + from_wide_lossy(c.subject));
      }
    }
    return out;
  }
};

TEST_F(Install, SilentRunsEveryStepInOrderAndShowsNothing) {
  ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, true).ok());
  EXPECT_EQ(steps(), (std::vector<std::string>{
                         "make_directory " + folder_text,
                         "make_directory C:\\Users\\Owner\\AppData\\Local\\Programs",
                         "make_directory " + folder_text,
                         "write_whole_file " + folder_text + "\\orvane-worker.exe",
                         "copy_file_replacing C:\\Users\\Owner\\Downloads\\setup.exe",
                         "set_value Path",
                         "send_message_timeout ",
                         "set_value DisplayName",
                     }));
  EXPECT_TRUE(fake.dialogs.shown.empty());
  EXPECT_EQ(fake.registry.values(uninstall_key).size(), 9u);
  EXPECT_EQ(fake.registry.open_handles(), 0u);
}

TEST_F(Install, InteractiveEndsWithTheInformationBox) {
  fake.registry.deny(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker");
  ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, false).ok());
  ASSERT_EQ(fake.dialogs.shown.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown[0].style, 0x40u);
  EXPECT_EQ(fake.dialogs.shown[0].text.rfind("Orvane Worker 0.2.3 is installed in:\r\n" + folder_text + "\r\n", 0), 0u);
}

TEST_F(Install, FileStepFailuresEndTheProcedureBeforeTheRegistry) {
  struct Case {
    const char* name;
    const char* operation;
    std::string message;
  } cases[] = {
      {"folder", "make_directory", "Cannot create " + folder_text + ": Access is denied. (os error 5)"},
      {"payload", "write_whole_file",
       "Cannot write " + folder_text + "\\orvane-worker.exe: Access is denied. (os error 5)"},
      {"own path", "running_executable_path", "Access is denied. (os error 5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform f;
    f.faults.fail(c.operation, 5);
    const SetupResult r = run_install(f.platform, FakePlatform::folder, false);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, c.message);
    EXPECT_EQ(f.faults.count("create_key"), 0u);
    EXPECT_TRUE(f.broadcast.sent.empty());
    EXPECT_TRUE(f.dialogs.shown.empty());
  }
}

TEST_F(Install, RegistryFailuresNeverFailTheInstall) {
  fake.registry.deny(u"Environment");
  fake.faults.fail("set_value", 5);
  ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, false).ok());
  EXPECT_FALSE(fake.registry.has_key(u"Environment"));
  EXPECT_TRUE(fake.broadcast.sent.empty());
  EXPECT_EQ(fake.dialogs.shown.size(), 1u);
}

TEST_F(Install, ReinstallOverAnExistingInstallation) {
  ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, true).ok());
  fake.files.find(folder + u"\\orvane-worker.exe")->running = true;
  fake.registry.put_string(uninstall_key, u"DisplayVersion", "0.1.0", win32::reg_sz);
  const auto path_before = fake.registry.get(u"Environment", u"Path")->bytes;
  ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, true).ok());
  EXPECT_TRUE(fake.files.exists(folder + u"\\orvane-worker.exe.old"));
  EXPECT_FALSE(fake.files.find(folder + u"\\orvane-worker.exe")->running);
  EXPECT_EQ(fake.registry.get(u"Environment", u"Path")->bytes, path_before);
  EXPECT_EQ(fake.registry.get(uninstall_key, u"DisplayVersion")->bytes, sz(u"0.2.3"));
}

}  // namespace
}  // namespace orvane
