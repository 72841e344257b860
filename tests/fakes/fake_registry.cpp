#include "fakes/fake_registry.h"

#include <cstring>

#include "platform/win32_codes.h"

namespace orvane::testing {
namespace {

using namespace orvane::win32;
constexpr std::int32_t status(std::uint32_t code) { return static_cast<std::int32_t>(code); }
constexpr std::int32_t error_invalid_handle = 6;

}  // namespace

std::u16string FakeRegistry::lower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& u : out) {
    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 0x20);
  }
  return out;
}

std::optional<std::int32_t> FakeRegistry::injected(const char* operation, std::u16string_view subject) {
  if (!faults_) return std::nullopt;
  if (auto code = faults_->on_call(operation, subject)) return status(*code);
  return std::nullopt;
}

void FakeRegistry::add_key(const std::u16string& path) {
  const std::u16string k = lower(path);
  for (std::size_t cut = k.find(u'\\'); cut != std::u16string::npos; cut = k.find(u'\\', cut + 1)) {
    keys_.try_emplace(k.substr(0, cut));
  }
  keys_.try_emplace(k);
}

void FakeRegistry::put(const std::u16string& path, const std::u16string& name, std::uint32_t type,
                       std::vector<std::uint8_t> bytes) {
  add_key(path);
  if (Value* v = find_value(lower(path), name)) {
    v->type = type;
    v->bytes = std::move(bytes);
    return;
  }
  keys_[lower(path)].values.push_back({name, type, std::move(bytes)});
}

void FakeRegistry::put_string(const std::u16string& path, const std::u16string& name,
                              std::string_view text, std::uint32_t type) {
  const WideString wide = to_wide(text);
  std::vector<std::uint8_t> bytes(wide.size() * 2);
  std::memcpy(bytes.data(), wide.data(), bytes.size());
  put(path, name, type, std::move(bytes));
}

void FakeRegistry::erase(const std::u16string& path, const std::u16string& name) {
  auto it = keys_.find(lower(path));
  if (it == keys_.end()) return;
  std::erase_if(it->second.values, [&](const Value& v) { return lower(v.name) == lower(name); });
}

bool FakeRegistry::has_key(const std::u16string& path) const { return keys_.count(lower(path)) > 0; }

FakeRegistry::Value* FakeRegistry::find_value(const std::u16string& key, std::u16string_view name) {
  auto it = keys_.find(key);
  if (it == keys_.end()) return nullptr;
  for (Value& v : it->second.values) {
    if (lower(v.name) == lower(name)) return &v;
  }
  return nullptr;
}

const FakeRegistry::Value* FakeRegistry::get(const std::u16string& path, const std::u16string& name) const {
  return const_cast<FakeRegistry*>(this)->find_value(lower(path), name);
}

std::vector<FakeRegistry::Value> FakeRegistry::values(const std::u16string& path) const {
  auto it = keys_.find(lower(path));
  return it == keys_.end() ? std::vector<Value>{} : it->second.values;
}

std::int32_t FakeRegistry::create_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) {
  accesses.push_back(access);
  if (auto s = injected("create_key", subkey.view())) return *s;
  const std::u16string k = lower(subkey.view());
  if (denied_.count(k)) return status(error_access_denied);
  add_key(k);
  *out = next_handle_++;
  open_[*out] = k;
  return 0;
}

std::int32_t FakeRegistry::open_key(const WideString& subkey, std::uint32_t access, KeyHandle* out) {
  accesses.push_back(access);
  if (auto s = injected("open_key", subkey.view())) return *s;
  const std::u16string k = lower(subkey.view());
  if (denied_.count(k)) return status(error_access_denied);
  if (!keys_.count(k)) return status(error_file_not_found);
  *out = next_handle_++;
  open_[*out] = k;
  return 0;
}

std::int32_t FakeRegistry::query_value(KeyHandle key, const WideString& name, std::uint32_t* type,
                                       std::uint8_t* data, std::uint32_t* size) {
  struct AfterQuery {
    FakeRegistry& r;
    ~AfterQuery() {
      const int n = r.queries_++;
      if (r.after_query) r.after_query(n);
    }
  } after{*this};
  if (auto s = injected("query_value", name.view())) return *s;
  auto handle = open_.find(key);
  if (handle == open_.end()) return error_invalid_handle;
  const Value* v = find_value(handle->second, name.view());
  if (!v) return status(error_file_not_found);
  const auto needed = static_cast<std::uint32_t>(v->bytes.size());
  if (type) *type = v->type;
  if (data == nullptr) {
    *size = needed;
    return 0;
  }
  if (*size < needed) {
    *size = needed;
    return status(error_more_data);
  }
  if (needed != 0) std::memcpy(data, v->bytes.data(), needed);  // an empty value's data() may be null
  *size = needed;
  return 0;
}

std::int32_t FakeRegistry::set_value(KeyHandle key, const WideString& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) {
  if (auto s = injected("set_value", name.view())) return *s;
  auto handle = open_.find(key);
  if (handle == open_.end()) return error_invalid_handle;
  std::vector<std::uint8_t> bytes(data, data + size);
  if (Value* v = find_value(handle->second, name.view())) {
    v->type = type;
    v->bytes = std::move(bytes);
  } else {
    keys_[handle->second].values.push_back({std::u16string(name.view()), type, std::move(bytes)});
  }
  return 0;
}

std::int32_t FakeRegistry::delete_tree(const WideString& subkey) {
  if (auto s = injected("delete_tree", subkey.view())) return *s;
  const std::u16string k = lower(subkey.view());
  if (!keys_.count(k)) return status(error_file_not_found);
  const std::u16string prefix = k + u"\\";
  for (auto it = keys_.begin(); it != keys_.end();) {
    it = (it->first == k || it->first.starts_with(prefix)) ? keys_.erase(it) : std::next(it);
  }
  return 0;
}

std::int32_t FakeRegistry::close_key(KeyHandle key) {
  if (auto s = injected("close_key", {})) {
    open_.erase(key);  // a failed close still lets go of the handle
    return *s;
  }
  if (open_.erase(key) == 0) {
    ++bad_closes_;
    return error_invalid_handle;
  }
  return 0;
}

}  // namespace orvane::testing
