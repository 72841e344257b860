#include "entry/run_setup.h"

#include <gtest/gtest.h>

#include <memory>

#include "fakes/fake_platform.h"
#include "install/install.h"
#include "platform/win32_codes.h"
#include "product/setup_dialogs.h"

namespace orvane {
namespace {

using testing::FakePlatform;

const std::u16string folder = FakePlatform::folder;

TEST(RunSetup, ModesAndExitStatus) {
  struct Case {
    const char* name;
    std::u16string line;
    std::deque<int> answers;
    bool break_install;
    int status;
    std::vector<std::uint32_t> styles;  // the boxes, in order
    bool installed;
  } cases[] = {
      {"interactive install, Yes", u"setup.exe", {6, 1}, false, 0, {0x24, 0x40}, true},
      {"interactive install, No", u"setup.exe", {7}, false, 0, {0x24}, false},
      {"interactive install, box failed", u"setup.exe", {0}, false, 0, {0x24}, false},
      {"silent install", u"setup.exe /S", {}, false, 0, {}, true},
      {"interactive install fails", u"setup.exe", {6, 1}, true, 1, {0x24, 0x10}, false},
      {"silent install fails", u"setup.exe --silent", {}, true, 1, {}, false},
      {"silent removal", u"setup.exe /SILENT --Uninstall", {}, false, 0, {}, false},
      {"interactive removal", u"setup.exe /uninstall", {6, 1}, false, 0, {0x24, 0x40}, false},
      {"removal declined", u"setup.exe /uninstall", {7}, false, 0, {0x24}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.process.line = c.line;
    fake.dialogs.answers = c.answers;
    if (c.break_install) fake.files.add_file(folder);
    EXPECT_EQ(run_setup(fake.platform), c.status);
    std::vector<std::uint32_t> styles;
    for (const auto& shown : fake.dialogs.shown) styles.push_back(shown.style);
    EXPECT_EQ(styles, c.styles);
    EXPECT_EQ(fake.files.exists(folder + u"\\orvane-worker.exe"), c.installed);
  }
}

TEST(RunSetup, DeclinedInstallTouchesNothing) {
  FakePlatform fake;
  fake.dialogs.answers = {7};
  const auto listing = fake.files.listing();
  EXPECT_EQ(run_setup(fake.platform), 0);
  EXPECT_EQ(fake.files.listing(), listing);
  EXPECT_FALSE(fake.registry.has_key(u"Environment"));
  EXPECT_TRUE(fake.broadcast.sent.empty());
  EXPECT_EQ(fake.dialogs.shown[0].text, install_question(folder));
}

TEST(RunSetup, FailureBoxCarriesTheStepMessage) {
  FakePlatform fake;
  fake.files.add_file(folder);
  fake.dialogs.answers = {6};
  EXPECT_EQ(run_setup(fake.platform), 1);
  ASSERT_EQ(fake.dialogs.shown.size(), 2u);
  EXPECT_EQ(fake.dialogs.shown[1].text,
            "Setup could not finish.\r\n\r\nCannot create " + std::string(FakePlatform::folder_text) +
                ": Cannot create a file when that file already exists. (os error 183)");
}

TEST(RunSetup, FromInsideTheFolderRemovesWithoutASwitch) {
  FakePlatform fake;
  fake.process.line = u"\"" + folder + u"\\uninstall.exe\"";
  fake.process.executable = folder + u"\\uninstall.exe";
  fake.dialogs.answers = {6, 1};
  EXPECT_EQ(run_setup(fake.platform), 0);
  ASSERT_EQ(fake.dialogs.shown.size(), 2u);
  EXPECT_EQ(fake.dialogs.shown[0].text, removal_question());
  EXPECT_EQ(fake.processes.started.size(), 1u);
}

// LOCALAPPDATA relative and the shell without an answer: there is no folder to install into or
// to clean, and nothing may land in the current folder.
namespace no_folder {

const std::u16string uninstall_key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker";

std::unique_ptr<FakePlatform> prepare(bool installed, const char16_t* line) {
  auto f = std::make_unique<FakePlatform>();
  f->registry.put_string(u"Environment", u"Path", "C:\\tools", win32::reg_expand_sz);
  if (installed && !run_install(f->platform, FakePlatform::folder, true).ok()) return nullptr;
  f->broadcast.sent.clear();
  f->process.environment[u"LOCALAPPDATA"] = u"rel\\local";
  f->process.known_folder = std::nullopt;
  f->process.line = line;
  f->dialogs.answers = {6, 1};
  return f;
}

std::u16string path_value(const FakePlatform& f) {
  const auto& bytes = f.registry.get(u"Environment", u"Path")->bytes;
  return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

std::vector<std::uint32_t> styles(const FakePlatform& f) {
  std::vector<std::uint32_t> out;
  for (const auto& shown : f.dialogs.shown) out.push_back(shown.style);
  return out;
}

TEST(RunSetupWithoutInstallFolder, InstallFailsBeforeChangingAnything) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    const auto f = prepare(false, silent ? u"setup.exe /S" : u"setup.exe");
    const auto listing = f->files.listing();
    const std::u16string path_before = path_value(*f);
    EXPECT_EQ(run_setup(f->platform), 1);
    // Interactive: no question, which would have to show a folder; the error box alone.
    EXPECT_EQ(styles(*f), (silent ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{0x10}));
    if (!silent) {
      EXPECT_EQ(f->dialogs.shown[0].text,
                "Setup could not finish.\r\n\r\nCannot find your local application data folder: "
                "LOCALAPPDATA does not hold a full path, and Windows does not name the folder.");
    }
    EXPECT_EQ(f->files.listing(), listing);
    EXPECT_EQ(path_value(*f), path_before);
    EXPECT_FALSE(f->registry.has_key(uninstall_key));
    EXPECT_TRUE(f->broadcast.sent.empty());
  }
}

TEST(RunSetupWithoutInstallFolder, RemovalDeletesOnlyTheRegistration) {
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    const auto f = prepare(true, silent ? u"setup.exe /S /uninstall" : u"setup.exe /uninstall");
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->registry.has_key(uninstall_key));
    const auto listing = f->files.listing();
    const std::u16string path_before = path_value(*f);
    EXPECT_EQ(run_setup(f->platform), 0);
    EXPECT_FALSE(f->registry.has_key(uninstall_key));
    EXPECT_EQ(path_value(*f), path_before);
    EXPECT_TRUE(f->broadcast.sent.empty());
    EXPECT_EQ(f->files.listing(), listing);
    EXPECT_TRUE(f->processes.started.empty());
    // The question and the closing box as in any interactive removal.
    EXPECT_EQ(styles(*f), (silent ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{0x24, 0x40}));
  }
}

}  // namespace no_folder

TEST(RunSetup, ArgumentWithUnpairedSurrogateIsNoSwitch) {
  FakePlatform fake;
  fake.process.line = std::u16string(u"setup.exe /s") + char16_t(0xDC00);
  fake.dialogs.answers = {7};
  EXPECT_EQ(run_setup(fake.platform), 0);
  EXPECT_EQ(fake.dialogs.shown.size(), 1u);  // asked: not silent
}

}  // namespace
}  // namespace orvane
