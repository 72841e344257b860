#pragma once
// An in-memory file system that behaves like Windows where the setup logic relies on it: names
// ignore ASCII case, "/" and "\" both separate, a running program can be renamed but not deleted
// or opened for writing, read-only files refuse writes and replacement.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "fakes/fault_injector.h"
#include "platform/files.h"

namespace orvane::testing {

class FakeFiles : public Files {
 public:
  struct Node {
    bool directory = false;
    std::vector<std::byte> bytes;
    bool read_only = false;
    bool running = false;  // an executable some process runs from
    bool locked = false;   // open without sharing: cannot be moved, written or deleted
    std::u16string path;   // as first created
  };

  // Drive roots C: and D: exist, and so does the current directory (the empty path).
  explicit FakeFiles(FaultInjector* faults = nullptr);

  // Test setup: parents are created as needed.
  void add_directory(const PlatformPath& path);
  void add_file(const PlatformPath& path, std::vector<std::byte> bytes = {});
  Node* find(const PlatformPath& path);
  bool exists(const PlatformPath& path) { return find(path) != nullptr; }
  // Every path, in creation form, sorted by its key.
  std::vector<std::u16string> listing() const;

  bool path_exists(const PlatformPath& path) override;
  bool is_directory(const PlatformPath& path) override;
  Status make_directory(const PlatformPath& path) override;
  Status rename_replacing(const PlatformPath& source, const PlatformPath& destination) override;
  Status write_whole_file(const PlatformPath& path, std::span<const std::byte> bytes) override;
  Status delete_file(const PlatformPath& path) override;
  Status copy_file_replacing(const PlatformPath& source, const PlatformPath& destination) override;

  // Key of a path: ASCII lower case, "/" as "\", no doubled or trailing separators.
  static std::u16string key(const PlatformPath& path);

 private:
  std::optional<Status> injected(const char* operation, const PlatformPath& path);
  Node* parent_directory(const std::u16string& key);

  FaultInjector* faults_;
  std::map<std::u16string, Node> nodes_;
};

std::vector<std::byte> bytes_of(std::string_view text);

}  // namespace orvane::testing
