#pragma once
// An in-memory HKEY_CURRENT_USER with the statuses Windows gives: key paths and value names
// ignore ASCII case, values keep their type and raw bytes, queries report sizes and
// ERROR_MORE_DATA, and every handle must be closed exactly once.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fakes/fault_injector.h"
#include "platform/registry.h"

namespace orvane::testing {

class FakeRegistry : public Registry {
 public:
  struct Value {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
  };

  explicit FakeRegistry(FaultInjector* faults = nullptr) : faults_(faults) {}

  // Test setup and inspection; key paths relative to HKCU.
  void add_key(const std::u16string& path);
  void put(const std::u16string& path, const std::u16string& name, std::uint32_t type,
           std::vector<std::uint8_t> bytes);
  // A string value as the platform stores it: UTF-16 of `text` plus a terminator.
  void put_string(const std::u16string& path, const std::u16string& name, std::string_view text,
                  std::uint32_t type);
  void erase(const std::u16string& path, const std::u16string& name);
  bool has_key(const std::u16string& path) const;
  const Value* get(const std::u16string& path, const std::u16string& name) const;
  // Values in the order they were first written.
  std::vector<Value> values(const std::u16string& path) const;
  // Keys whose creation and opening fail with ERROR_ACCESS_DENIED.
  void deny(const std::u16string& path) { denied_.insert(lower(path)); }

  // Runs after every value query, with the query's number (0-based): lets a test change a value
  // between the two queries of a read.
  std::function<void(int query)> after_query;

  std::vector<std::uint32_t> accesses;  // the access mask of every create and open

  std::size_t open_handles() const { return open_.size(); }
  std::size_t bad_closes() const { return bad_closes_; }

  std::int32_t create_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) override;
  std::int32_t open_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) override;
  std::int32_t query_value(KeyHandle key, const WideString& name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t set_value(KeyHandle key, const WideString& name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t delete_tree(const WideString& subkey) override;
  std::int32_t close_key(KeyHandle key) override;

  static std::u16string lower(std::u16string_view s);

 private:
  struct Key {
    std::vector<Value> values;
  };
  std::optional<std::int32_t> injected(const char* operation, std::u16string_view subject);
  Value* find_value(const std::u16string& key, std::u16string_view name);

  FaultInjector* faults_;
  std::map<std::u16string, Key> keys_;  // by lower-cased path
  std::map<KeyHandle, std::u16string> open_;
  std::set<std::u16string> denied_;
  KeyHandle next_handle_ = 0x1000;
  std::size_t bad_closes_ = 0;
  int queries_ = 0;
};

}  // namespace orvane::testing
