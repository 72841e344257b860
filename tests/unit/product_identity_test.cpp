#include "product/product_identity.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace orvane {
namespace {

TEST(InstallFolder, DerivesFromLocalAppData) {
  struct Case {
    const char* name;
    std::optional<std::u16string> local_app_data;
    std::u16string folder;
  } cases[] = {
      {"usual", u"C:\\Users\\Owner\\AppData\\Local", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker"},
      {"trailing backslash", u"C:\\Users\\Owner\\AppData\\Local\\", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker"},
      {"forward slashes kept", u"D:/Data/Local", u"D:/Data/Local\\Programs\\Orvane Worker"},
      {"trailing forward slash", u"D:/Data/Local/", u"D:/Data/Local/Programs\\Orvane Worker"},
      {"bare drive", u"C:", u"C:Programs\\Orvane Worker"},
      {"verbatim rebuilt", u"\\\\?\\C:\\Users\\Owner\\AppData\\Local\\",
       u"\\\\?\\C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker"},
      {"verbatim doubled separators", u"\\\\?\\C:\\Users\\\\Owner", u"\\\\?\\C:\\Users\\Owner\\Programs\\Orvane Worker"},
      {"verbatim dots kept", u"\\\\?\\C:\\a\\.\\..\\b", u"\\\\?\\C:\\a\\.\\..\\b\\Programs\\Orvane Worker"},
      {"verbatim volume rebuilt", u"\\\\?\\Volume{1b2c}\\Local",
       u"\\\\?\\Volume{1b2c}\\Local\\Programs\\Orvane Worker"},
      {"unset", std::nullopt, u"C:\\Users\\Public\\AppData\\Local\\Programs\\Orvane Worker"},
      {"empty", u"", u"Programs\\Orvane Worker"},
      {"not trimmed", u" C:\\x ", u" C:\\x \\Programs\\Orvane Worker"},
      {"lone surrogate carried", std::u16string(u"C:\\") + char16_t(0xD800),
       std::u16string(u"C:\\") + char16_t(0xD800) + u"\\Programs\\Orvane Worker"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeProcess process;
    if (c.local_app_data) process.environment[u"LOCALAPPDATA"] = *c.local_app_data;
    EXPECT_EQ(install_folder(process), c.folder);
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
