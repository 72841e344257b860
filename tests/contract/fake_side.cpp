// The contract run against the in-memory fakes the unit tests use.

#include "contract.h"
#include "fakes/fake_files.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_registry.h"

namespace orvane::contract {
namespace {

class FakeFilesWorld final : public FilesWorld {
 public:
  FakeFilesWorld() { files_.add_directory(root_); }

  Files& files() override { return files_; }
  const PlatformPath& root() const override { return root_; }

  void add_file(const PlatformPath& path, std::span<const std::byte> bytes) override {
    files_.add_file(path, {bytes.begin(), bytes.end()});
  }
  void add_directory(const PlatformPath& path) override { files_.add_directory(path); }
  void make_read_only(const PlatformPath& path) override {
    testing::FakeFiles::Node* node = files_.find(path);
    ASSERT_NE(node, nullptr);
    node->read_only = true;
  }
  void hold_open(const PlatformPath& path) override {
    testing::FakeFiles::Node* node = files_.find(path);
    ASSERT_NE(node, nullptr);
    node->locked = true;
  }
  std::optional<std::vector<std::byte>> content(const PlatformPath& path) override {
    const testing::FakeFiles::Node* node = files_.find(path);
    if (node == nullptr || node->directory) return std::nullopt;
    return node->bytes;
  }

 private:
  testing::FakeFiles files_;
  PlatformPath root_ = u"C:\\Users\\Owner\\AppData\\Local\\Temp\\contract";
};

class FakeRegistryWorld final : public RegistryWorld {
 public:
  ~FakeRegistryWorld() override {
    EXPECT_EQ(registry_.open_handles(), 0u) << "a case left a key open";
    EXPECT_EQ(registry_.bad_closes(), 0u) << "a case closed a key that was not open";
  }

  Registry& registry() override { return registry_; }
  const std::u16string& base() const override { return base_; }

 private:
  testing::FakeRegistry registry_;
  std::u16string base_ = u"Software\\OrvaneWorkerContractTests\\case";
};

class FakeProcessWorld final : public ProcessWorld {
 public:
  FakeProcessWorld() { process_.known_folder = profile_folder_; }

  Process& process() override { return process_; }
  std::optional<PlatformPath> profile_local_app_data() override { return profile_folder_; }

 private:
  PlatformPath profile_folder_ = u"C:\\Users\\Owner\\AppData\\Local";
  testing::FakeProcess process_;
};

}  // namespace

const Side& side_under_test() {
  static const Side side{
      "Fake",
      [] { return std::make_unique<FakeFilesWorld>(); },
      [] { return std::make_unique<FakeRegistryWorld>(); },
      [] { return std::make_unique<FakeProcessWorld>(); },
      {},
      {},
  };
  return side;
}

}  // namespace orvane::contract
