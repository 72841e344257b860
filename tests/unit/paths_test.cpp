#include "paths/paths.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

constexpr const char16_t* folder = u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";

TEST(IsInsideInstallFolder, ComparesComponentsNotText) {
  struct Case {
    const char* name;
    std::u16string executable;
    bool inside;
  } cases[] = {
      {"uninstaller", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", true},
      {"drive letter case", u"c:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", true},
      {"forward slashes", u"C:/Users/Owner/AppData/Local/Programs/Orvane Worker/uninstall.exe", true},
      {"doubled separators", u"C:\\\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\\\uninstall.exe", true},
      {"single dots skipped", u"C:\\Users\\.\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", true},
      {"name case matters", u"C:\\users\\owner\\appdata\\local\\programs\\orvane worker\\uninstall.exe", false},
      {"shared text beginning", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker2\\setup.exe", false},
      {"subfolder", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\sub\\setup.exe", true},
      {"the folder itself", folder, true},
      {"folder with trailing separator", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\", true},
      {"parent of the folder", u"C:\\Users\\Owner\\AppData\\Local\\Programs", false},
      {"verbatim drive against drive", u"\\\\?\\C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", false},
      {"two dots are not resolved", u"C:\\Users\\Owner\\AppData\\Local\\Programs\\x\\..\\Orvane Worker\\uninstall.exe", false},
      {"other drive", u"D:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", false},
      {"relative", u"Orvane Worker\\uninstall.exe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_inside_install_folder(c.executable, folder), c.inside);
  }
}

TEST(PathComponents, ReadsEveryPrefixForm) {
  using Kind = PathComponent::Kind;
  struct Case {
    const char* name;
    std::u16string path;
    std::vector<Kind> kinds;
  } cases[] = {
      {"drive, root, names", u"C:\\a\\b", {Kind::DrivePrefix, Kind::Root, Kind::Name, Kind::Name}},
      {"drive-relative", u"C:a", {Kind::DrivePrefix, Kind::Name}},
      {"leading dot kept", u".\\a", {Kind::CurrentDir, Kind::Name}},
      {"drive then leading dot kept", u"C:.\\a", {Kind::DrivePrefix, Kind::CurrentDir, Kind::Name}},
      {"inner dot skipped", u"a\\.\\b", {Kind::Name, Kind::Name}},
      {"rooted dot skipped", u"\\.\\x", {Kind::Root, Kind::Name}},
      {"two dots", u"a\\..\\b", {Kind::Name, Kind::ParentDir, Kind::Name}},
      {"unc", u"\\\\server\\share\\a", {Kind::UncPrefix, Kind::Root, Kind::Name}},
      {"unc with slashes", u"//server/share/a", {Kind::UncPrefix, Kind::Root, Kind::Name}},
      {"unc without share is no prefix", u"\\\\server", {Kind::Root, Kind::Name}},
      {"device", u"\\\\.\\COM1", {Kind::DevicePrefix}},
      {"verbatim", u"\\\\?\\pipe\\x", {Kind::VerbatimPrefix, Kind::Root, Kind::Name}},
      {"verbatim unc", u"\\\\?\\UNC\\s\\sh\\a", {Kind::VerbatimUncPrefix, Kind::Root, Kind::Name}},
      {"verbatim drive", u"\\\\?\\C:\\a", {Kind::VerbatimDrivePrefix, Kind::Root, Kind::Name}},
      {"verbatim bare drive", u"\\\\?\\C:", {Kind::VerbatimDrivePrefix}},
      {"verbatim drive needs a backslash after the colon", u"\\\\?\\C:x", {Kind::VerbatimPrefix}},
      {"verbatim: a slash is no separator", u"\\\\?\\C:/a", {Kind::VerbatimPrefix}},
      {"verbatim drive needs a letter", u"\\\\?\\1:\\a", {Kind::VerbatimPrefix, Kind::Root, Kind::Name}},
      {"verbatim keeps dots, only \\ separates", u"\\\\?\\C:\\.\\a/b",
       {Kind::VerbatimDrivePrefix, Kind::Root, Kind::CurrentDir, Kind::Name}},
      {"verbatim opening needs backslashes", u"//?/C:/a", {Kind::UncPrefix, Kind::Root, Kind::Name}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Kind> kinds;
    for (const PathComponent& p : path_components(c.path)) kinds.push_back(p.kind);
    EXPECT_EQ(kinds, c.kinds);
  }
}

TEST(PathsEqual, SeparatorsAndDriveCaseDoNotMatterNamesDo) {
  const std::u16string a = u"C:\\Users\\Owner\\uninstall.exe";
  EXPECT_TRUE(paths_equal(a, a));
  EXPECT_TRUE(paths_equal(a, u"c:/Users/Owner/uninstall.exe"));
  EXPECT_TRUE(paths_equal(a, u"C:\\\\Users\\Owner\\\\uninstall.exe"));
  EXPECT_FALSE(paths_equal(a, u"C:\\Users\\owner\\uninstall.exe"));
  EXPECT_FALSE(paths_equal(a, u"C:\\Users\\Owner"));
  EXPECT_FALSE(paths_equal(u"\\\\s\\share\\x", u"\\\\S\\share\\x"));
  EXPECT_TRUE(paths_equal(u"\\\\?\\C:\\x", u"\\\\?\\c:\\x"));
  EXPECT_FALSE(paths_equal(u"\\\\?\\C:\\x", u"C:\\x"));
  EXPECT_FALSE(paths_equal(u"\\\\.\\C:", u"\\\\.\\D:"));
  EXPECT_FALSE(paths_equal(u"\\\\.\\COM1", u"\\\\.\\COM2"));
  EXPECT_TRUE(paths_equal(u"a:\\x", u"A:\\x"));
  EXPECT_TRUE(paths_equal(u"z:\\x", u"Z:\\x"));
}

TEST(FolderText, ShowsLoneSurrogatesAsReplacement) {
  const std::u16string path = std::u16string(u"C:\\A") + char16_t(0xDBFF) + u"B\\\u00E9";
  EXPECT_EQ(folder_text(path), "C:\\A\xEF\xBF\xBD" "B\\\xC3\xA9");
}

TEST(JoinPath, EmptyNameOnVerbatimBaseIsPlainJoin) {
  EXPECT_EQ(join_path(u"\\\\?\\C:\\x", std::u16string_view(u"")), u"\\\\?\\C:\\x\\");
  EXPECT_EQ(join_path(u"", std::u16string_view(u"a")), u"a");
}

TEST(ParentOf, DropsTheLastNameAndKeepsARoot) {
  struct Case {
    const char* name;
    std::u16string path;
    std::optional<std::u16string> parent;
  } cases[] = {
      {"names", u"C:\\a\\b", u"C:\\a"},
      {"under a root", u"C:\\a", u"C:\\"},
      {"doubled and trailing separators", u"C:\\a\\\\b\\", u"C:\\a"},
      {"forward slashes", u"a/b/", u"a"},
      {"drive-relative", u"C:a", u"C:"},
      {"single relative name", u"a", u""},
      {"two dots are a name to drop", u"..\\a", u".."},
      {"unc share root kept", u"\\\\server\\share\\a", u"\\\\server\\share\\"},
      {"verbatim root kept", u"\\\\?\\C:\\a", u"\\\\?\\C:\\"},
      {"bare root", u"C:\\", std::nullopt},
      {"bare drive", u"C:", std::nullopt},
      {"bare share", u"\\\\server\\share\\", std::nullopt},
      {"empty", u"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parent_of(c.path), c.parent);
  }
}

TEST(IsAbsolute, OnlyPathsThatNeedNoCurrentDirectory) {
  for (const char* path : {"C:\\x", "C:/x", "\\\\s\\sh\\x", "//s/sh/x", "\\\\.\\COM1", "\\\\?\\C:\\x",
                           "\\\\?\\UNC\\s\\sh", "A:\\x", "Z:\\x", "a:\\x", "z:\\x"}) {
    EXPECT_TRUE(is_absolute(utf8_to_utf16(path))) << path;
  }
  // Only A-Z and a-z name a drive: the characters either side of those ranges do not.
  for (const char* path : {"C:x", "C:", "\\x", "x\\y", ".\\x", "", "@:\\x", "[:\\x", "`:\\x", "{:\\x",
                           "1:\\x"}) {
    EXPECT_FALSE(is_absolute(utf8_to_utf16(path))) << path;
  }
}

TEST(PathVariableFolders, SplitsOutsideQuotesAndSkipsEmpties) {
  struct Case {
    const char* value;
    std::vector<std::u16string> folders;
  } cases[] = {
      {"", {}},
      {"C:\\a", {u"C:\\a"}},
      {";;C:\\a;;C:\\b;", {u"C:\\a", u"C:\\b"}},
      {"\"C:\\a;b\";C:\\c", {u"C:\\a;b", u"C:\\c"}},
      {"C:\\a\"\"b", {u"C:\\ab"}},
      {"\"C:\\open;x", {u"C:\\open;x"}},
      {"\"\";C:\\a", {u"C:\\a"}},
      {"C:\\x\\;", {u"C:\\x\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(path_variable_folders(utf8_to_utf16(c.value)), c.folders);
  }
}

}  // namespace
}  // namespace orvane
