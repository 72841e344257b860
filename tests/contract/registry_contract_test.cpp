// What the registry layer relies on from `Registry`: keys are created with their parents and
// never by an open, values keep their type and exact byte count, size queries and short buffers
// report what is needed, and missing keys and values say ERROR_FILE_NOT_FOUND.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "contract.h"
#include "platform/wide_string.h"

namespace orvane::contract {
namespace {

constexpr std::int32_t success = 0;
constexpr std::int32_t file_not_found = 2;
constexpr std::int32_t more_data = 234;
constexpr std::uint32_t access = 0x2001F;  // KEY_READ | KEY_WRITE, as the registry layer asks
constexpr std::uint32_t reg_sz = 1;
constexpr std::uint32_t reg_expand_sz = 2;
constexpr std::uint32_t reg_binary = 3;
constexpr std::uint32_t reg_dword = 4;
constexpr std::uint32_t reg_multi_sz = 7;

WideString wide(std::u16string_view units) { return WideString(std::u16string(units)); }

// The bytes of a literal's UTF-16 units as the registry stores them: every unit written, 0 units
// included, but not the literal's own terminator.
template <std::size_t n>
std::vector<std::uint8_t> units_bytes(const char16_t (&units)[n]) {
  std::vector<std::uint8_t> bytes((n - 1) * 2);
  std::memcpy(bytes.data(), units, bytes.size());
  return bytes;
}

// An open key that closes itself; `close` is checked once, here.
class OpenKey {
 public:
  OpenKey(Registry& registry, KeyHandle handle) : registry_(registry), handle_(handle) {}
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (handle_ != 0) {
      EXPECT_EQ(registry_.close_key(handle_), success);
    }
  }
  KeyHandle get() const { return handle_; }

 private:
  Registry& registry_;
  KeyHandle handle_;
};

class RegistryCase : public RegistryContract {
 protected:
  // 0 when the create failed (the failure is recorded).
  KeyHandle create(const std::u16string& path) {
    KeyHandle handle = 0;
    EXPECT_EQ(registry().create_key(wide(path), access, &handle), success);
    EXPECT_NE(handle, KeyHandle{0});
    return handle;
  }
  std::int32_t open(const std::u16string& path, KeyHandle* out) {
    return registry().open_key(wide(path), access, out);
  }
  // Stores `bytes` with RegSetValueExW's count. The buffer passed goes on with a unit that is not
  // 0 after the counted bytes: the platform adds a terminator it finds right behind a string it
  // was given without one, and the count must not be changed that way here.
  std::int32_t set(KeyHandle key, std::u16string_view name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> buffer = bytes;
    buffer.insert(buffer.end(), {'X', 0, 'X', 0});
    return registry().set_value(key, wide(name), type, buffer.data(),
                                static_cast<std::uint32_t>(bytes.size()));
  }
};

class RegistryKeys : public RegistryCase {};
class RegistryValues : public RegistryCase {};
INSTANTIATE_TEST_SUITE_P(Contract, RegistryKeys, ::testing::Values(&side_under_test()), side_name);
INSTANTIATE_TEST_SUITE_P(Contract, RegistryValues, ::testing::Values(&side_under_test()),
                         side_name);

TEST_P(RegistryKeys, CreateKeyCreatesMissingParents) {
  { const OpenKey deep(registry(), create(key(u"Software\\Microsoft\\Environment"))); }
  for (const char16_t* name : {u"", u"Software", u"Software\\Microsoft"}) {
    SCOPED_TRACE(from_wide_lossy(name));
    KeyHandle handle = 0;
    EXPECT_EQ(open(key(name), &handle), success);
    const OpenKey opened(registry(), handle);
  }
}

TEST_P(RegistryKeys, CreateKeyOpensAnExistingKeyWithItsValues) {
  {
    const OpenKey first(registry(), create(key()));
    EXPECT_EQ(set(first.get(), u"Path", reg_expand_sz, units_bytes(u"C:\\Tools\0")), success);
  }
  const OpenKey again(registry(), create(key()));
  std::uint32_t size = 0;
  EXPECT_EQ(registry().query_value(again.get(), wide(u"Path"), nullptr, nullptr, &size), success);
  EXPECT_EQ(size, 18u);
}

TEST_P(RegistryKeys, OpenKeyOfAMissingKeyFailsAndCreatesNothing) {
  constexpr KeyHandle untouched = 0x5EED;
  KeyHandle handle = untouched;
  EXPECT_EQ(open(key(u"Environment"), &handle), file_not_found);
  EXPECT_EQ(handle, untouched);
  EXPECT_EQ(open(key(), &handle), file_not_found);  // no parent was made on the way either

  { const OpenKey base(registry(), create(key())); }
  EXPECT_EQ(open(key(u"Environment\\Deeper"), &handle), file_not_found);
  EXPECT_EQ(open(key(u"Environment"), &handle), file_not_found);
  EXPECT_EQ(handle, untouched);
}

TEST_P(RegistryKeys, DeleteTreeRemovesTheKeyWithItsValuesAndSubkeys) {
  {
    const OpenKey deep(registry(), create(key(u"Uninstall\\OrvaneWorker")));
    EXPECT_EQ(set(deep.get(), u"DisplayName", reg_sz, units_bytes(u"Orvane Worker\0")), success);
    const OpenKey base(registry(), create(key()));
    EXPECT_EQ(set(base.get(), u"Kept", reg_dword, {1, 0, 0, 0}), success);
  }
  EXPECT_EQ(registry().delete_tree(wide(key())), success);
  KeyHandle handle = 0;
  EXPECT_EQ(open(key(u"Uninstall\\OrvaneWorker"), &handle), file_not_found);
  EXPECT_EQ(open(key(), &handle), file_not_found);
}

TEST_P(RegistryKeys, DeleteTreeOfAMissingKeyIsNotFound) {
  EXPECT_EQ(registry().delete_tree(wide(key(u"OrvaneWorker"))), file_not_found);
  { const OpenKey base(registry(), create(key())); }
  EXPECT_EQ(registry().delete_tree(wide(key(u"OrvaneWorker"))), file_not_found);
  KeyHandle handle = 0;
  EXPECT_EQ(open(key(), &handle), success);  // the parent stays
  const OpenKey base(registry(), handle);
}

// Each value is stored, then asked for its size, read with a buffer of exactly that size, one of
// more and (unless empty) one a byte short.
TEST_P(RegistryValues, KeepTheirTypeAndExactByteCount) {
  struct Row {
    const char* what;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
  };
  const Row rows[] = {
      {"a string with its terminator", reg_sz, units_bytes(u"C:\\Tools;C:\\Orvane Worker\0")},
      {"an expandable string", reg_expand_sz, units_bytes(u"%USERPROFILE%\\bin\0")},
      {"a string without terminator", reg_sz, units_bytes(u"abc")},
      {"a string of an odd byte count", reg_sz, {'a', 0, 'b', 0, 'c'}},
      {"a binary value of an odd byte count", reg_binary, {1, 2, 3}},
      {"two strings", reg_multi_sz, units_bytes(u"a\0b\0\0")},
      {"a DWORD", reg_dword, {1, 0, 0, 0}},
      {"a string of no bytes", reg_sz, {}},
  };
  const OpenKey handle(registry(), create(key()));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto stored = static_cast<std::uint32_t>(row.bytes.size());
    ASSERT_EQ(set(handle.get(), u"Value", row.type, row.bytes), success);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry().query_value(handle.get(), wide(u"Value"), &type, nullptr, &size), success);
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(size, stored);

    for (const std::uint32_t room : {stored, stored + 8}) {
      std::vector<std::uint8_t> data(room + 1, 0xEE);
      type = 0;
      size = room;
      EXPECT_EQ(registry().query_value(handle.get(), wide(u"Value"), &type, data.data(), &size),
                success);
      EXPECT_EQ(type, row.type);
      EXPECT_EQ(size, stored);
      EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + stored), row.bytes);
    }

    if (stored == 0) continue;
    std::vector<std::uint8_t> short_buffer(stored);
    size = stored - 1;
    EXPECT_EQ(
        registry().query_value(handle.get(), wide(u"Value"), &type, short_buffer.data(), &size),
        more_data);
    EXPECT_EQ(size, stored);
  }
}

TEST_P(RegistryValues, SetValueReplacesTypeAndBytes) {
  const OpenKey handle(registry(), create(key()));
  EXPECT_EQ(set(handle.get(), u"Path", reg_sz, units_bytes(u"C:\\A;C:\\B;C:\\C\0")), success);
  EXPECT_EQ(set(handle.get(), u"Path", reg_expand_sz, units_bytes(u"C:\\A\0")), success);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(registry().query_value(handle.get(), wide(u"Path"), &type, nullptr, &size), success);
  EXPECT_EQ(type, reg_expand_sz);
  EXPECT_EQ(size, 10u);
}

TEST_P(RegistryValues, AMissingValueIsNotFound) {
  const OpenKey handle(registry(), create(key()));
  EXPECT_EQ(set(handle.get(), u"Other", reg_sz, units_bytes(u"x\0")), success);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(registry().query_value(handle.get(), wide(u"Path"), &type, nullptr, &size),
            file_not_found);
  std::vector<std::uint8_t> data(16);
  size = 16;
  EXPECT_EQ(registry().query_value(handle.get(), wide(u"Path"), &type, data.data(), &size),
            file_not_found);
}

// The user's "Path" value may be stored under any letter case.
TEST_P(RegistryValues, KeyAndValueNamesIgnoreAsciiCase) {
  {
    const OpenKey handle(registry(), create(key(u"Environment")));
    EXPECT_EQ(set(handle.get(), u"PATH", reg_sz, units_bytes(u"C:\\A\0")), success);
  }
  KeyHandle handle = 0;
  ASSERT_EQ(open(key(u"ENVIRONMENT"), &handle), success);
  const OpenKey opened(registry(), handle);
  std::uint32_t size = 0;
  EXPECT_EQ(registry().query_value(opened.get(), wide(u"Path"), nullptr, nullptr, &size), success);
  EXPECT_EQ(size, 10u);
}

}  // namespace
}  // namespace orvane::contract
