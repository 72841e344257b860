#include "fakes/fake_files.h"

#include "platform/win32_codes.h"

namespace orvane::testing {
namespace {

using namespace orvane::win32;

std::u16string parent_key(const std::u16string& key) {
  const std::size_t cut = key.rfind(u'\\');
  return cut == std::u16string::npos ? std::u16string() : key.substr(0, cut);
}

}  // namespace

std::vector<std::byte> bytes_of(std::string_view text) {
  std::vector<std::byte> out;
  for (char c : text) out.push_back(static_cast<std::byte>(c));
  return out;
}

FakeFiles::FakeFiles(FaultInjector* faults) : faults_(faults) {
  nodes_[u""] = Node{true, {}, false, false, false, u""};
  nodes_[u"c:"] = Node{true, {}, false, false, false, u"C:"};
  nodes_[u"d:"] = Node{true, {}, false, false, false, u"D:"};
}

std::u16string FakeFiles::key(const PlatformPath& path) {
  std::u16string out;
  for (char16_t u : path) {
    if (u == u'/') u = u'\\';
    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 0x20);
    if (u == u'\\' && !out.empty() && out.back() == u'\\') continue;
    out.push_back(u);
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

std::optional<Status> FakeFiles::injected(const char* operation, const PlatformPath& path) {
  if (!faults_) return std::nullopt;
  if (auto code = faults_->on_call(operation, path)) return Status(OsError::from_code(*code));
  return std::nullopt;
}

FakeFiles::Node* FakeFiles::find(const PlatformPath& path) {
  auto it = nodes_.find(key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

FakeFiles::Node* FakeFiles::parent_directory(const std::u16string& k) {
  auto it = nodes_.find(parent_key(k));
  return it != nodes_.end() && it->second.directory ? &it->second : nullptr;
}

void FakeFiles::add_directory(const PlatformPath& path) {
  const std::u16string k = key(path);
  if (k.empty() || nodes_.count(k)) return;
  const std::size_t cut = path.find_last_of(u"\\/");
  if (cut != std::u16string::npos) add_directory(path.substr(0, cut));
  nodes_[k] = Node{true, {}, false, false, false, path};
}

void FakeFiles::add_file(const PlatformPath& path, std::vector<std::byte> bytes) {
  const std::size_t cut = path.find_last_of(u"\\/");
  if (cut != std::u16string::npos) add_directory(path.substr(0, cut));
  nodes_[key(path)] = Node{false, std::move(bytes), false, false, false, path};
}

std::vector<std::u16string> FakeFiles::listing() const {
  std::vector<std::u16string> out;
  for (const auto& [k, node] : nodes_) {
    if (!k.empty()) out.push_back(node.path);
  }
  return out;
}

bool FakeFiles::path_exists(const PlatformPath& path) {
  if (injected("path_exists", path)) return false;
  return find(path) != nullptr;
}

bool FakeFiles::is_directory(const PlatformPath& path) {
  if (injected("is_directory", path)) return false;
  const Node* node = find(path);
  return node && node->directory;
}

Status FakeFiles::make_directory(const PlatformPath& path) {
  if (auto s = injected("make_directory", path)) return *s;
  const std::u16string k = key(path);
  if (nodes_.count(k)) return OsError::from_code(error_already_exists);
  if (!parent_directory(k)) return OsError::from_code(error_path_not_found);
  nodes_[k] = Node{true, {}, false, false, false, path};
  return {};
}

Status FakeFiles::rename_replacing(const PlatformPath& source, const PlatformPath& destination) {
  if (auto s = injected("rename_replacing", source)) return *s;
  const std::u16string from = key(source);
  const std::u16string to = key(destination);
  auto it = nodes_.find(from);
  if (it == nodes_.end()) return OsError::from_code(error_file_not_found);
  if (it->second.locked) return OsError::from_code(error_sharing_violation);
  if (!parent_directory(to)) return OsError::from_code(error_path_not_found);
  if (from == to) return {};
  if (auto target = nodes_.find(to); target != nodes_.end()) {
    const Node& t = target->second;
    if (t.directory || t.read_only || t.running) return OsError::from_code(error_access_denied);
    if (t.locked) return OsError::from_code(error_sharing_violation);
  }
  Node moved = it->second;
  moved.path = destination;
  nodes_.erase(it);
  nodes_[to] = std::move(moved);
  return {};
}

Status FakeFiles::write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) {
  if (auto s = injected("write_whole_file", path)) return *s;
  const std::u16string k = key(path);
  if (!parent_directory(k)) return OsError::from_code(error_path_not_found);
  auto it = nodes_.find(k);
  if (it != nodes_.end()) {
    Node& node = it->second;
    if (node.directory || node.read_only) return OsError::from_code(error_access_denied);
    if (node.running || node.locked) return OsError::from_code(error_sharing_violation);
    node.bytes.assign(bytes.begin(), bytes.end());
    return {};
  }
  nodes_[k] = Node{false, {bytes.begin(), bytes.end()}, false, false, false, path};
  return {};
}

Status FakeFiles::delete_file(const PlatformPath& path) {
  if (auto s = injected("delete_file", path)) return *s;
  auto it = nodes_.find(key(path));
  if (it == nodes_.end()) return OsError::from_code(error_file_not_found);
  if (it->second.directory || it->second.running) return OsError::from_code(error_access_denied);
  if (it->second.locked) return OsError::from_code(error_sharing_violation);
  nodes_.erase(it);  // read-only files too: the real operation clears the attribute
  return {};
}

Status FakeFiles::copy_file_replacing(const PlatformPath& source, const PlatformPath& destination) {
  if (auto s = injected("copy_file_replacing", source)) return *s;
  auto from = nodes_.find(key(source));
  if (from == nodes_.end() || from->second.directory) return OsError::from_code(error_file_not_found);
  const std::u16string to = key(destination);
  if (!parent_directory(to)) return OsError::from_code(error_path_not_found);
  if (auto target = nodes_.find(to); target != nodes_.end()) {
    Node& t = target->second;
    if (t.directory || t.read_only) return OsError::from_code(error_access_denied);
    if (t.running || t.locked) return OsError::from_code(error_sharing_violation);
    t.bytes = from->second.bytes;
    return {};
  }
  nodes_[to] = Node{false, from->second.bytes, false, false, false, destination};
  return {};
}

}  // namespace orvane::testing
