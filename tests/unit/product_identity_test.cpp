#include "product/product_identity.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace orvane {
namespace {

// LOCALAPPDATA is taken as it is when it names a place without help from the current folder;
// otherwise the shell's Local AppData folder is the base, and Windows is asked only then.
TEST(InstallFolder, LocalAppDataWhenAbsoluteElseTheShellsFolder) {
  const std::u16string shell = u"D:\\Profiles\\Owner\\AppData\\Local";
  const std::u16string from_shell = shell + u"\\Programs\\Orvane Worker";
  struct Case {
    const char* name;
    std::optional<std::u16string> local_app_data;
    std::u16string folder;
    bool asks_windows;
  } cases[] = {
      {"usual", u"C:\\Users\\Owner\\AppData\\Local", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker", false},
      {"trailing backslash", u"C:\\Users\\Owner\\AppData\\Local\\", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker", false},
      {"forward slashes kept", u"D:/Data/Local", u"D:/Data/Local\\Programs\\Orvane Worker", false},
      {"trailing forward slash", u"D:/Data/Local/", u"D:/Data/Local/Programs\\Orvane Worker", false},
      {"UNC share", u"\\\\server\\share\\x", u"\\\\server\\share\\x\\Programs\\Orvane Worker", false},
      {"verbatim rebuilt", u"\\\\?\\C:\\x\\", u"\\\\?\\C:\\x\\Programs\\Orvane Worker", false},
      {"verbatim doubled separators", u"\\\\?\\C:\\Users\\\\Owner", u"\\\\?\\C:\\Users\\Owner\\Programs\\Orvane Worker", false},
      {"device form", u"\\\\.\\C:\\x", u"\\\\.\\C:\\x\\Programs\\Orvane Worker", false},
      {"trailing space not trimmed", u"C:\\x ", u"C:\\x \\Programs\\Orvane Worker", false},
      {"verbatim dots kept", u"\\\\?\\C:\\a\\.\\..\\b", u"\\\\?\\C:\\a\\.\\..\\b\\Programs\\Orvane Worker", false},
      {"verbatim volume rebuilt", u"\\\\?\\Volume{1b2c}\\Local",
       u"\\\\?\\Volume{1b2c}\\Local\\Programs\\Orvane Worker", false},
      {"lone surrogate carried", std::u16string(u"C:\\") + char16_t(0xD800),
       std::u16string(u"C:\\") + char16_t(0xD800) + u"\\Programs\\Orvane Worker", false},
      {"unset", std::nullopt, from_shell, true},
      {"empty", u"", from_shell, true},
      {"relative", u"rel\\local", from_shell, true},
      {"bare drive", u"C:", from_shell, true},
      {"drive-relative", u"C:rel", from_shell, true},
      {"rooted without a drive (relative to the current drive)", u"\\rooted", from_shell, true},
      {"leading space (relative)", u" C:\\x", from_shell, true},
      {"UNC server without a share", u"\\\\server", from_shell, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FaultInjector faults;
    testing::FakeProcess process(&faults);
    process.known_folder = shell;
    if (c.local_app_data) process.environment[u"LOCALAPPDATA"] = *c.local_app_data;
    EXPECT_EQ(install_folder(process), c.folder);
    EXPECT_EQ(faults.count("known_local_app_data"), c.asks_windows ? 1u : 0u);
  }
}

TEST(InstallFolder, NoneWhenNeitherNamesAnAbsoluteFolder) {
  struct Case {
    const char* name;
    std::optional<std::u16string> local_app_data;
    std::optional<std::u16string> shell;
    bool shell_fails;
  } cases[] = {
      {"unset, shell has none", std::nullopt, std::nullopt, false},
      {"empty, shell call fails", u"", u"C:\\Users\\Owner\\AppData\\Local", true},
      {"relative, shell relative too", u"rel\\local", u"AppData\\Local", false},
      {"bare drive, shell a bare drive", u"C:", u"C:", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FaultInjector faults;
    testing::FakeProcess process(&faults);
    process.known_folder = c.shell;
    if (c.local_app_data) process.environment[u"LOCALAPPDATA"] = *c.local_app_data;
    if (c.shell_fails) faults.fail("known_local_app_data", 0x80070002);
    EXPECT_EQ(install_folder(process), std::nullopt);
  }
}

TEST(InstallLayout, DerivesEveryPathFromTheFolder) {
  const InstallLayout layout{u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker"};
  EXPECT_EQ(layout.payload_path(), u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\orvane-worker.exe");
  EXPECT_EQ(layout.old_payload_path(), u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\orvane-worker.exe.old");
  EXPECT_EQ(layout.uninstaller_path(), u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe");
  EXPECT_EQ(layout.text(), "C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker");
}

TEST(UninstallKeyPath, NamesTheProductKey) {
  EXPECT_EQ(uninstall_key_path(), "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneWorker");
}

}  // namespace
}  // namespace orvane
