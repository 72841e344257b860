#include "user_registry/registry_access.h"

#include <gtest/gtest.h>

#include "fakes/fake_registry.h"
#include "platform/win32_codes.h"

namespace orvane {
namespace {

using testing::FakeRegistry;
using Bytes = std::vector<std::uint8_t>;
using Outcome = StringRead::Outcome;

constexpr const char16_t* key_path = u"Environment";

Bytes utf16le(std::u16string_view units) {
  Bytes out;
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

StringRead read_back(FakeRegistry& registry) {
  std::optional<RegistryKey> key = open_user_key(registry, "Environment");
  EXPECT_TRUE(key.has_value());
  return read_string_value(*key, "Path");
}

TEST(ReadStringValue, ReadsWhatIsStored) {
  struct Case {
    const char* name;
    std::optional<Bytes> stored;
    std::uint32_t type;
    Outcome outcome;
    std::string text;
    bool faithful;
  } cases[] = {
      {"missing value", std::nullopt, win32::reg_sz, Outcome::NoValue, "", false},
      {"zero bytes", Bytes{}, win32::reg_sz, Outcome::NoValue, "", false},
      {"terminator only", Bytes{0, 0}, win32::reg_expand_sz, Outcome::Text, "", true},
      {"usual", utf16le(std::u16string(u"A;B\0", 4)), win32::reg_expand_sz, Outcome::Text, "A;B", true},
      {"no terminator is read whole", utf16le(u"A;B"), win32::reg_sz, Outcome::Text, "A;B", true},
      {"five bytes give three units", Bytes{'a', 0, 'b', 0, 'c'}, win32::reg_sz, Outcome::Text, "abc", false},
      {"multi-string stops at the first 0", utf16le(std::u16string(u"a\0b\0\0", 5)), win32::reg_multi_sz,
       Outcome::Text, "a", false},
      {"extra terminators are harmless", utf16le(std::u16string(u"a\0\0", 3)), win32::reg_sz,
       Outcome::Text, "a", true},
      {"lone surrogate", utf16le(std::u16string{u'a', 0xD800, 0}), win32::reg_sz, Outcome::Text,
       "a\xEF\xBF\xBD", false},
      {"any type is read as text", utf16le(std::u16string(u"x\0", 2)), win32::reg_binary, Outcome::Text, "x", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    registry.add_key(key_path);
    if (c.stored) registry.put(key_path, u"Path", c.type, *c.stored);
    const StringRead read = read_back(registry);
    EXPECT_EQ(read.outcome, c.outcome);
    EXPECT_EQ(read.text, c.text);
    if (c.outcome == Outcome::Text) {
      EXPECT_EQ(read.faithful, c.faithful);
      EXPECT_EQ(read.type, c.type);
    }
  }
}

TEST(ReadStringValue, ValueChangingBetweenQueries) {
  struct Case {
    const char* name;
    std::function<void(FakeRegistry&, int)> change;
    Outcome outcome;
    std::string text;
  } cases[] = {
      {"grows once: read again with the reported size",
       [](FakeRegistry& r, int q) {
         if (q == 0) r.put_string(key_path, u"Path", "C:\\a;C:\\much\\longer\\entry", win32::reg_expand_sz);
       },
       Outcome::Text, "C:\\a;C:\\much\\longer\\entry"},
      {"keeps growing: read failed, not missing",
       [](FakeRegistry& r, int q) {
         r.put_string(key_path, u"Path", std::string(std::size_t(20 + 10 * q), 'x'), win32::reg_expand_sz);
       },
       Outcome::ReadFailed, ""},
      {"grows after the size query and the first two reads: the fourth read gets it whole",
       [](FakeRegistry& r, int q) {
         if (q < 3) r.put_string(key_path, u"Path", std::string(std::size_t(20 + 10 * q), 'x'), win32::reg_expand_sz);
       },
       Outcome::Text, std::string(40, 'x')},
      {"grows after the size query and the first three reads: read failed, never read a fifth time",
       [](FakeRegistry& r, int q) {
         if (q < 4) r.put_string(key_path, u"Path", std::string(std::size_t(20 + 10 * q), 'x'), win32::reg_expand_sz);
       },
       Outcome::ReadFailed, ""},
      {"disappears: read failed",
       [](FakeRegistry& r, int q) {
         if (q == 0) r.erase(key_path, u"Path");
       },
       Outcome::ReadFailed, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    registry.put_string(key_path, u"Path", "C:\\a", win32::reg_expand_sz);
    std::optional<RegistryKey> key = open_user_key(registry, "Environment");
    ASSERT_TRUE(key);
    registry.after_query = [&](int q) { c.change(registry, q); };
    const StringRead read = read_string_value(*key, "Path");
    EXPECT_EQ(read.outcome, c.outcome);
    EXPECT_EQ(read.text, c.text);
    registry.after_query = nullptr;
  }
}

TEST(ReadStringValue, RefusedSizeQueryIsNotAMissingValue) {
  for (std::uint32_t code : {5u, 6u, 234u}) {
    SCOPED_TRACE(code);
    testing::FaultInjector faults;
    FakeRegistry registry(&faults);
    registry.put_string(key_path, u"Path", "C:\\a;C:\\b", win32::reg_expand_sz);
    faults.fail("query_value", code, u"Path", 1);
    EXPECT_EQ(read_back(registry).outcome, Outcome::ReadFailed);
  }
}

TEST(WriteValues, StoreExactTypesAndBytes) {
  FakeRegistry registry;
  std::optional<RegistryKey> key = create_user_key(registry, "Software\\Test");
  ASSERT_TRUE(key);
  write_string_value(*key, "Empty", "", win32::reg_sz);
  write_string_value(*key, "Text", "a\xF0\x9F\x98\x80", win32::reg_expand_sz);
  write_dword_flag(*key, "Flag");
  EXPECT_EQ(registry.get(u"Software\\Test", u"Empty")->bytes, (Bytes{0, 0}));
  EXPECT_EQ(registry.get(u"Software\\Test", u"Text")->bytes, utf16le(std::u16string{u'a', 0xD83D, 0xDE00, 0}));
  EXPECT_EQ(registry.get(u"Software\\Test", u"Text")->type, win32::reg_expand_sz);
  EXPECT_EQ(registry.get(u"Software\\Test", u"Flag")->bytes, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(registry.get(u"Software\\Test", u"Flag")->type, win32::reg_dword);
}

TEST(UserKeys, CreateMakesMissingKeysOpenNever) {
  FakeRegistry registry;
  EXPECT_FALSE(open_user_key(registry, "Environment"));
  EXPECT_FALSE(registry.has_key(u"Environment"));
  EXPECT_TRUE(create_user_key(registry, "Environment"));
  EXPECT_TRUE(registry.has_key(u"Environment"));
  EXPECT_TRUE(open_user_key(registry, "environment"));
  for (std::uint32_t access : registry.accesses) EXPECT_EQ(access, 0x2001Fu);
  registry.deny(u"Environment");
  EXPECT_FALSE(create_user_key(registry, "Environment"));
  EXPECT_EQ(registry.open_handles(), 0u);
}

TEST(RegistryKey, IsClosedExactlyOnceAcrossMoves) {
  FakeRegistry registry;
  {
    std::optional<RegistryKey> a = create_user_key(registry, "A");
    RegistryKey b = std::move(*a);
    std::optional<RegistryKey> c = create_user_key(registry, "C");
    *c = std::move(b);  // closes C's own key first
    EXPECT_EQ(registry.open_handles(), 1u);
    c->release();
    c->release();
    EXPECT_EQ(registry.open_handles(), 0u);
  }
  EXPECT_EQ(registry.bad_closes(), 0u);
}

TEST(DeleteUserKeyTree, RemovesTheSubtreeAndToleratesAMissingKey) {
  FakeRegistry registry;
  registry.put_string(u"Software\\X\\Uninstall\\P\\Sub", u"v", "1", win32::reg_sz);
  registry.put_string(u"Software\\X\\Uninstall\\Q", u"v", "1", win32::reg_sz);
  delete_user_key_tree(registry, "Software\\X\\Uninstall\\P");
  EXPECT_FALSE(registry.has_key(u"Software\\X\\Uninstall\\P"));
  EXPECT_FALSE(registry.has_key(u"Software\\X\\Uninstall\\P\\Sub"));
  EXPECT_TRUE(registry.has_key(u"Software\\X\\Uninstall\\Q"));
  delete_user_key_tree(registry, "Software\\X\\Uninstall\\P");
  EXPECT_TRUE(registry.has_key(u"Software\\X\\Uninstall\\Q"));
}

}  // namespace
}  // namespace orvane
