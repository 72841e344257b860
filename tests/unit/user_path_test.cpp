#include "user_registry/user_path.h"

#include <gtest/gtest.h>

#include <random>

#include "fakes/fake_platform.h"
#include "user_registry/registry_access.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

using testing::FakeBroadcast;
using testing::FakeRegistry;
using Bytes = std::vector<std::uint8_t>;

const std::string F = "C:\\Users\\Owner\\AppData\\Local\\Programs\\Orvane Worker";

TEST(SamePathEntry, IgnoresTrailingBackslashesAndAsciiCaseOnly) {
  struct Case {
    std::string entry;
    bool same;
    std::string folder = F;
  } cases[] = {
      {F, true},
      {F + "\\", true},
      {F + "\\\\\\", true},
      {"c:\\users\\owner\\appdata\\local\\programs\\ORVANE WORKER", true},
      {F + "/", false},
      {" " + F, false},
      {F + " ", false},
      {"\"" + F + "\"", false},
      {"%LOCALAPPDATA%\\Programs\\Orvane Worker", false},
      {"C:/Users/Owner/AppData/Local/Programs/Orvane Worker", false},
      {"C:\\Users\\\\Owner\\AppData\\Local\\Programs\\Orvane Worker", false},
      {"", false},
      {"C:\\Az", true, "c:\\aZ"},  // the ends of A-Z fold; the characters beside them do not
      {"C:\\@", false, "C:\\`"},
      {"C:\\[", false, "C:\\{"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(same_path_entry(c.entry, c.folder), c.same);
  }
  // Non-ASCII letters compare exactly: no case folding beyond A-Z.
  EXPECT_TRUE(same_path_entry("C:\\\xC3\x89t\xC3\xA9", "c:\\\xC3\x89T\xC3\xA9\\"));
  EXPECT_FALSE(same_path_entry("C:\\\xC3\xA9t\xC3\xA9", "C:\\\xC3\x89t\xC3\xA9"));
  EXPECT_TRUE(same_path_entry(F, F + "\\"));
}

TEST(PathWithFolder, AppendsUnlessPresent) {
  struct Case {
    std::string old_value;
    std::optional<std::string> updated;
  } cases[] = {
      {"", F},
      {"A", "A;" + F},
      {"A;", "A;" + F},
      {"A;;;", "A;" + F},
      {"A;;B", "A;;B;" + F},
      {";A", ";A;" + F},
      {";;", ";" + F},
      {"A;" + F, std::nullopt},
      {"A;" + F + "\\", std::nullopt},
      {"A;" + F + "\\\\\\;B", std::nullopt},
      {"a;c:\\USERS\\owner\\AppData\\Local\\Programs\\orvane worker", std::nullopt},
      {"A;" + F + "/", "A;" + F + "/;" + F},
      {"\"" + F + "\"", "\"" + F + "\";" + F},
      {"%LOCALAPPDATA%\\Programs\\Orvane Worker", "%LOCALAPPDATA%\\Programs\\Orvane Worker;" + F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old_value);
    EXPECT_EQ(path_with_folder(c.old_value, F), c.updated);
  }
}

TEST(PathWithFolder, FolderHoldingSemicolonIsNeverFound) {
  const std::string odd = "C:\\a;b\\Orvane Worker";
  const std::optional<std::string> once = path_with_folder("A", odd);
  ASSERT_TRUE(once);
  EXPECT_EQ(*once, "A;" + odd);
  EXPECT_TRUE(path_with_folder(*once, odd));  // appended again: it never counts as present
  EXPECT_EQ(path_without_folder(*once, odd), *once);
}

TEST(PathWithoutFolder, DropsEveryMatchAndEmptyEntries) {
  struct Case {
    std::string old_value;
    std::string updated;
  } cases[] = {
      {"A;" + F + ";B", "A;B"},
      {"A;" + F + "\\;c:\\users\\owner\\appdata\\local\\programs\\orvane worker;B", "A;B"},
      {"A;;B;", "A;B"},
      {F, ""},
      {";;;", ""},
      {"", ""},
      {"A;" + F + "/;B", "A;" + F + "/;B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old_value);
    EXPECT_EQ(path_without_folder(c.old_value, F), c.updated);
  }
}

// Generated Path values: after install then removal, every entry that is neither empty nor the
// folder is still there, in order, byte for byte; install never adds the folder twice.
TEST(PathEditing, InstallThenRemoveKeepsEveryOtherEntry) {
  const std::vector<std::string> pieces = {
      "C:\\Windows\\system32", "C:\\Program Files\\Git\\cmd", "%USERPROFILE%\\bin", "\"C:\\quoted dir\"",
      "D:\\tools\\", "C:\\\xE6\x97\xA5\xE6\x9C\xAC", " C:\\spaced ", "", "C:/fwd/slash", F, F + "\\",
      "c:\\users\\owner\\appdata\\local\\programs\\orvane worker", F + "/", "\\\\server\\share\\x",
      "%PATH%", "C:\\\xF0\x9F\x98\x80",
  };
  std::mt19937 random(20261210);
  int runs = 0;
  for (; runs < 5000; ++runs) {
    std::vector<std::string> entries(random() % 9);
    for (std::string& e : entries) e = pieces[random() % pieces.size()];
    std::string value;
    for (std::size_t k = 0; k < entries.size(); ++k) value += (k ? ";" : "") + entries[k];
    SCOPED_TRACE(value);

    const std::string installed = path_with_folder(value, F).value_or(value);
    EXPECT_FALSE(path_with_folder(installed, F).has_value());
    std::size_t matches = 0;
    for (const std::string& e : entries) matches += same_path_entry(e, F) ? 1 : 0;
    if (matches == 0) {
      std::string trimmed = value;
      while (!trimmed.empty() && trimmed.back() == ';') trimmed.pop_back();
      EXPECT_EQ(installed, value.empty() ? F : trimmed + ";" + F);
    }

    std::vector<std::string> kept;
    for (const std::string& e : entries) {
      if (!e.empty() && !same_path_entry(e, F)) kept.push_back(e);
    }
    std::string expected;
    for (std::size_t k = 0; k < kept.size(); ++k) expected += (k ? ";" : "") + kept[k];
    EXPECT_EQ(path_without_folder(installed, F), expected);
  }
  std::printf("[ property ] %d generated Path values\n", runs);
}

struct PathStepFixture : ::testing::Test {
  FakeRegistry registry;
  FakeBroadcast broadcast;

  void store(std::string_view text, std::uint32_t type = win32::reg_expand_sz) {
    registry.put_string(u"Environment", u"Path", text, type);
  }
  const FakeRegistry::Value* path() { return registry.get(u"Environment", u"Path"); }
  std::string path_text() {
    std::optional<RegistryKey> key = open_user_key(registry, "Environment");
    return read_string_value(*key, "Path").text;
  }
};

TEST_F(PathStepFixture, AddWritesExpandStringAndBroadcasts) {
  store("A", win32::reg_sz);
  add_to_user_path(registry, broadcast, F);
  EXPECT_EQ(path_text(), "A;" + F);
  EXPECT_EQ(path()->type, win32::reg_expand_sz);
  ASSERT_EQ(broadcast.sent.size(), 1u);
  const FakeBroadcast::Sent& sent = broadcast.sent[0];
  EXPECT_EQ(sent.window, 0xFFFFu);
  EXPECT_EQ(sent.message, 0x1Au);
  EXPECT_EQ(sent.wparam, 0u);
  EXPECT_EQ(sent.text, u"Environment");
  EXPECT_EQ(sent.flags, 2u);
  EXPECT_EQ(sent.timeout_ms, 3000u);
  EXPECT_EQ(registry.open_handles(), 0u);
}

TEST_F(PathStepFixture, AddCreatesMissingKeyAndValue) {
  add_to_user_path(registry, broadcast, F);
  EXPECT_EQ(path_text(), F);
  EXPECT_EQ(path()->type, win32::reg_expand_sz);
}

TEST_F(PathStepFixture, AddLeavesPresentFolderAndItsTypeAlone) {
  store("A;" + F + "\\", win32::reg_sz);
  const Bytes before = path()->bytes;
  add_to_user_path(registry, broadcast, F);
  EXPECT_EQ(path()->bytes, before);
  EXPECT_EQ(path()->type, win32::reg_sz);
  EXPECT_EQ(broadcast.sent.size(), 1u);
}

TEST_F(PathStepFixture, AddDoesNothingWhenEnvironmentCannotBeCreated) {
  registry.deny(u"Environment");
  add_to_user_path(registry, broadcast, F);
  EXPECT_FALSE(registry.has_key(u"Environment"));
  EXPECT_TRUE(broadcast.sent.empty());
}

TEST_F(PathStepFixture, ValuesTheTextCannotCarryAreNeverRewritten) {
  struct Case {
    const char* name;
    std::uint32_t type;
    Bytes bytes;
  } cases[] = {
      {"multi-string", win32::reg_multi_sz, {'A', 0, 0, 0, 'B', 0, 0, 0, 0, 0}},
      {"binary", win32::reg_binary, {'A', 0, 0, 0}},
      {"dword", win32::reg_dword, {1, 0, 0, 0}},
      {"odd byte count", win32::reg_expand_sz, {'A', 0, ';', 0, 'B'}},
      {"lone surrogate", win32::reg_expand_sz, {'A', 0, 0x00, 0xD8, 0, 0}},
      {"text after the terminator", win32::reg_expand_sz, {'A', 0, 0, 0, 'B', 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool installing : {true, false}) {
      FakeRegistry r;
      FakeBroadcast b;
      r.put(u"Environment", u"Path", c.type, c.bytes);
      installing ? add_to_user_path(r, b, F) : remove_from_user_path(r, b, F);
      EXPECT_EQ(r.get(u"Environment", u"Path")->bytes, c.bytes);
      EXPECT_EQ(r.get(u"Environment", u"Path")->type, c.type);
      EXPECT_EQ(b.sent.size(), 1u);
    }
  }
}

TEST_F(PathStepFixture, AddNeverReplacesAValueThatCouldNotBeReadWhole) {
  store("C:\\a;C:\\b");
  registry.after_query = [&](int q) {
    registry.put_string(u"Environment", u"Path", std::string(std::size_t(30 + 10 * q), 'x'), win32::reg_expand_sz);
  };
  add_to_user_path(registry, broadcast, F);
  registry.after_query = nullptr;
  EXPECT_EQ(path_text().find(F), std::string::npos);
  EXPECT_EQ(broadcast.sent.size(), 1u);
}

TEST_F(PathStepFixture, AddNeverReplacesAValueItCouldNotQuery) {
  testing::FaultInjector faults;
  FakeRegistry guarded(&faults);
  guarded.put_string(u"Environment", u"Path", "C:\\a;C:\\b", win32::reg_expand_sz);
  faults.fail("query_value", 5, u"Path", 1);
  add_to_user_path(guarded, broadcast, F);
  EXPECT_EQ(faults.count("set_value"), 0u);
  EXPECT_EQ(broadcast.sent.size(), 1u);
}

TEST_F(PathStepFixture, RemoveRewritesEvenWithoutMatch) {
  store("A;;B;", win32::reg_sz);
  remove_from_user_path(registry, broadcast, F);
  EXPECT_EQ(path_text(), "A;B");
  EXPECT_EQ(path()->type, win32::reg_expand_sz);
  EXPECT_EQ(broadcast.sent.size(), 1u);
  EXPECT_EQ(registry.open_handles(), 0u);
}

TEST_F(PathStepFixture, RemoveLeavesAnEmptyValueInPlace) {
  store(F);
  remove_from_user_path(registry, broadcast, F);
  EXPECT_EQ(path()->bytes, (Bytes{0, 0}));
  EXPECT_EQ(path()->type, win32::reg_expand_sz);
}

TEST_F(PathStepFixture, RemoveWithoutValueWritesNothingButBroadcasts) {
  registry.add_key(u"Environment");
  registry.put(u"Environment", u"Other", win32::reg_sz, {});
  registry.put(u"Environment", u"Path", win32::reg_expand_sz, {});  // 0 bytes: no value
  remove_from_user_path(registry, broadcast, F);
  EXPECT_TRUE(path()->bytes.empty());
  EXPECT_EQ(broadcast.sent.size(), 1u);
}

TEST_F(PathStepFixture, RemoveWithoutEnvironmentKeyDoesNothing) {
  remove_from_user_path(registry, broadcast, F);
  EXPECT_FALSE(registry.has_key(u"Environment"));
  EXPECT_TRUE(broadcast.sent.empty());
}

}  // namespace
}  // namespace orvane
