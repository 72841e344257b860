#include "entry/command_line.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace orvane {
namespace {

using testing::FakeProcess;
using Args = std::vector<std::string>;
const std::optional<PlatformPath> folder = u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";

Args split(const std::u16string& line) {
  FakeProcess process;
  return split_command_line(line, process);
}

TEST(SplitCommandLine, FollowsTheQuotingRules) {
  struct Case {
    const char* name;
    std::u16string line;
    Args expected;
  } cases[] = {
      {"program alone", u"setup.exe", {"setup.exe"}},
      {"program name keeps backslashes, drops quotes", u"\"C:\\My Files\\setup.exe\" /s",
       {"C:\\My Files\\setup.exe", "/s"}},
      {"quotes inside the program name", u"C:\\dir\\\"a b\"\\setup.exe", {"C:\\dir\\a b\\setup.exe"}},
      {"quoted switch", u"setup.exe \"/s\"", {"setup.exe", "/s"}},
      {"quoted space is kept", u"setup.exe \"/s \"", {"setup.exe", "/s "}},
      {"one quoted argument", u"setup.exe \"--uninstall --silent\"", {"setup.exe", "--uninstall --silent"}},
      {"empty pair, then b", u"a \"\" b", {"a", "", "b"}},
      {"empty pair at the end", u"a \"\"", {"a", ""}},
      {"doubled quote inside quotes", u"a \"x\"\"y\"", {"a", "x\"y"}},
      {"unclosed quote", u"a \"x", {"a", "x"}},
      {"odd backslashes escape a quote", u"a \\\\\\\"b", {"a", "\\\"b"}},
      {"even backslashes before a quote halve", u"a \\\\\"b c\"", {"a", "\\b c"}},
      {"backslashes at the end stay", u"a c:\\dir\\\\", {"a", "c:\\dir\\\\"}},
      {"tabs separate", u"setup.exe\t/s", {"setup.exe", "/s"}},
      {"runs of blanks", u"setup.exe   /s \t --silent  ", {"setup.exe", "/s", "--silent"}},
      {"reading stops at a 0 unit", std::u16string(u"setup.exe /s\0/uninstall", 24), {"setup.exe", "/s"}},
      {"unpaired surrogate becomes U+FFFD", std::u16string(u"a /s") + char16_t(0xD800),
       {"a", "/s\xEF\xBF\xBD"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(split(c.line), c.expected);
  }
}

TEST(SplitCommandLine, EmptyOrMissingLineGivesTheExecutablePath) {
  FakeProcess process;
  process.executable = u"C:\\Downloads\\setup.exe";
  EXPECT_EQ(split_command_line(std::nullopt, process), Args{"C:\\Downloads\\setup.exe"});
  EXPECT_EQ(split_command_line(u"", process), Args{"C:\\Downloads\\setup.exe"});
  process.executable.reset();
  EXPECT_EQ(split_command_line(std::nullopt, process), Args{""});
}

TEST(SplitCommandLine, HandlesTheLongestCommandLine) {
  std::u16string line = u"setup.exe /S ";
  line.append(32767 - line.size(), u'x');
  const Args args = split(line);
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[1], "/S");
  EXPECT_EQ(args[2].size(), 32767u - 13u);
}

TEST(ReadOptions, MatchesWholeArgumentsIgnoringAsciiCase) {
  struct Case {
    const char* name;
    Args args;
    bool silent;
    bool uninstall;
  } cases[] = {
      {"nothing", {"setup.exe"}, false, false},
      {"/S", {"setup.exe", "/S"}, true, false},
      {"/SILENT --Uninstall", {"setup.exe", "/SILENT", "--Uninstall"}, true, true},
      {"/QUIET /UNINSTALL", {"setup.exe", "/QUIET", "/UNINSTALL"}, true, true},
      {"repetition", {"setup.exe", "/s", "/quiet", "/s"}, true, false},
      {"/uninstall", {"setup.exe", "/uninstall"}, false, true},
      {"--silent", {"setup.exe", "--silent"}, true, false},
      {"program name is never a switch", {"/uninstall"}, false, false},
      {"look-alikes", {"setup.exe", "-s", "/s=1", "--quiet", "/u", "/s "}, false, false},
      {"capital I with dot above", {"setup.exe", "/S\xC4\xB0LENT"}, false, false},
      {"long s", {"setup.exe", "/\xC5\xBF"}, false, false},
      {"Kelvin sign", {"setup.exe", "/\xE2\x84\xAA"}, false, false},
      {"replacement character", {"setup.exe", "/s\xEF\xBF\xBD"}, false, false},
      {"both switches in one argument", {"setup.exe", "--uninstall --silent"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SetupOptions o = read_options(c.args);
    EXPECT_EQ(o.silent, c.silent);
    EXPECT_EQ(o.uninstall, c.uninstall);
  }
}

TEST(ChooseMode, RemovesWhenAskedOrWhenRunFromTheFolder) {
  struct Case {
    const char* name;
    bool uninstall;
    std::optional<std::u16string> executable;
    SetupMode expected;
  } cases[] = {
      {"download folder", false, u"C:\\Users\\Owner\\Downloads\\setup.exe", SetupMode::Install},
      {"installed uninstaller", false,
       u"C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker\\uninstall.exe", SetupMode::Remove},
      {"names differ in case", false,
       u"C:\\users\\owner\\appdata\\local\\programs\\orvane worker\\uninstall.exe", SetupMode::Install},
      {"path unknown", false, std::nullopt, SetupMode::Install},
      {"switch", true, u"C:\\Users\\Owner\\Downloads\\setup.exe", SetupMode::Remove},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeProcess process;
    process.executable = c.executable;
    EXPECT_EQ(choose_mode({false, c.uninstall}, process, folder), c.expected);
  }
}

TEST(ChooseMode, SwitchNeedsNoExecutablePath) {
  testing::FaultInjector faults;
  testing::FakeProcess process(&faults);
  EXPECT_EQ(choose_mode({false, true}, process, folder), SetupMode::Remove);
  EXPECT_EQ(faults.count("running_executable_path"), 0u);
}

TEST(ChooseMode, NothingLiesInsideAnUnknownFolder) {
  testing::FakeProcess process;
  process.executable = u"Programs\\Orvane Worker\\uninstall.exe";
  EXPECT_EQ(choose_mode({false, false}, process, std::nullopt), SetupMode::Install);
  EXPECT_EQ(choose_mode({false, true}, process, std::nullopt), SetupMode::Remove);
}

}  // namespace
}  // namespace orvane
