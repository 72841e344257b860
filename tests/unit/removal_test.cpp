#include "remove/removal.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "install/install.h"
#include "user_registry/registry_access.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

using testing::FakePlatform;

const std::u16string folder = FakePlatform::folder;
const std::string folder_text = FakePlatform::folder_text;
const std::u16string uninstall_key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker";

struct Removal : ::testing::Test {
  FakePlatform fake;
  void SetUp() override {
    fake.registry.put_string(u"Environment", u"Path", "C:\\tools;" + folder_text + ";;D:\\bin", win32::reg_sz);
    ASSERT_TRUE(run_install(fake.platform, FakePlatform::folder, true).ok());
    fake.faults = testing::FaultInjector();
    fake.broadcast.sent.clear();
  }
  std::string path_text() {
    std::optional<RegistryKey> key = open_user_key(fake.registry, "Environment");
    return read_string_value(*key, "Path").text;
  }
  std::vector<std::string> order() {
    std::vector<std::string> out;
    for (const auto& c : fake.faults.calls()) {
      if (c.operation == "message_box" || c.operation == "delete_tree" || c.operation == "delete_file" ||
          c.operation == "create_process" || c.operation == "send_message_timeout" ||
          (c.operation == "set_value" && c.subject == u"Path")) {
        out.push_back(c.operation);
      }
    }
    return out;
  }
};

TEST_F(Removal, SilentRunsEveryStepInOrder) {
  ASSERT_TRUE(run_removal(fake.platform, FakePlatform::folder, true).ok());
  EXPECT_EQ(order(), (std::vector<std::string>{"set_value", "send_message_timeout", "delete_tree",
                                               "delete_file", "create_process"}));
  EXPECT_EQ(path_text(), "C:\\tools;D:\\bin");
  EXPECT_EQ(fake.registry.get(u"Environment", u"Path")->type, win32::reg_expand_sz);
  EXPECT_FALSE(fake.registry.has_key(uninstall_key));
  EXPECT_FALSE(fake.files.exists(folder + u"\\orvane-worker.exe"));
  EXPECT_TRUE(fake.files.exists(folder + u"\\uninstall.exe"));  // left to the deferred command
  ASSERT_EQ(fake.processes.started.size(), 1u);
  EXPECT_NE(fake.processes.started[0].command_line.find(u"rmdir /S /Q \"" + folder + u"\""), std::u16string::npos);
  EXPECT_TRUE(fake.dialogs.shown.empty());
}

TEST_F(Removal, InteractiveAsksFirstAndClosesWithTheBox) {
  fake.dialogs.answers = {6};
  ASSERT_TRUE(run_removal(fake.platform, FakePlatform::folder, false).ok());
  // The deferred removal starts only after the closing box, once nothing here holds the folder.
  EXPECT_EQ(order(), (std::vector<std::string>{"message_box", "set_value", "send_message_timeout", "delete_tree",
                                               "delete_file", "message_box", "create_process"}));
  ASSERT_EQ(fake.dialogs.shown.size(), 2u);
  EXPECT_EQ(fake.dialogs.shown[0].style, 0x24u);
  EXPECT_EQ(fake.dialogs.shown[1].text, "Orvane Worker was removed.");
  EXPECT_EQ(fake.dialogs.shown[1].style, 0x40u);
}

TEST_F(Removal, AnythingButYesChangesNothing) {
  for (int answer : {7, 0, -1, 2}) {
    SCOPED_TRACE(answer);
    fake.faults = testing::FaultInjector();
    fake.dialogs.shown.clear();
    fake.dialogs.answers = {answer};
    const auto listing = fake.files.listing();
    const auto path = fake.registry.get(u"Environment", u"Path")->bytes;
    ASSERT_TRUE(run_removal(fake.platform, FakePlatform::folder, false).ok());
    EXPECT_EQ(order(), std::vector<std::string>{"message_box"});
    EXPECT_EQ(fake.files.listing(), listing);
    EXPECT_EQ(fake.registry.get(u"Environment", u"Path")->bytes, path);
    EXPECT_TRUE(fake.registry.has_key(uninstall_key));
    EXPECT_TRUE(fake.processes.started.empty());
  }
}

TEST_F(Removal, EveryStepRunsWhateverTheOthersAchieved) {
  fake.registry.deny(u"Environment");
  fake.faults.fail("delete_tree", 5);
  fake.files.find(folder + u"\\orvane-worker.exe")->running = true;
  fake.dialogs.answers = {6};
  ASSERT_TRUE(run_removal(fake.platform, FakePlatform::folder, false).ok());
  EXPECT_TRUE(fake.broadcast.sent.empty());
  EXPECT_TRUE(fake.files.exists(folder + u"\\orvane-worker.exe"));
  EXPECT_EQ(fake.processes.started.size(), 1u);
  EXPECT_EQ(fake.dialogs.shown.back().text, "Orvane Worker was removed.");
}

TEST(RemovalWithNothingInstalled, StillCleansPathAndReportsSuccess) {
  FakePlatform fake;
  fake.registry.put_string(u"Environment", u"Path", ";A;;B;", win32::reg_sz);
  fake.dialogs.answers = {6};
  ASSERT_TRUE(run_removal(fake.platform, FakePlatform::folder, false).ok());
  EXPECT_EQ(fake.registry.get(u"Environment", u"Path")->type, win32::reg_expand_sz);
  EXPECT_EQ(fake.broadcast.sent.size(), 1u);
  EXPECT_EQ(fake.processes.started.size(), 1u);
  ASSERT_EQ(fake.dialogs.shown.size(), 2u);
  EXPECT_EQ(fake.dialogs.shown[1].text, "Orvane Worker was removed.");
}

}  // namespace
}  // namespace orvane
