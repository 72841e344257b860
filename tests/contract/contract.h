#pragma once
// The behaviour the setup logic relies on from `Files`, `Registry` and `Process`, written once and run
// against each realisation: the in-memory fakes on the build machine, the Win32 code under Wine
// (or Windows). A side supplies a fresh world per case; the world owns the realisation under
// test, a scratch area that belongs to that case alone, and a way to arrange and inspect that
// area that does not go through the code under test.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/fault_injector.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace orvane::contract {

class FilesWorld {
 public:
  virtual ~FilesWorld() = default;

  virtual Files& files() = 0;
  // An existing, empty folder; it and everything in it go with the world.
  virtual const PlatformPath& root() const = 0;

  // Arranging and inspecting, past the code under test. Missing parents are the case's fault.
  virtual void add_file(const PlatformPath& path, std::span<const std::byte> bytes) = 0;
  virtual void add_directory(const PlatformPath& path) = 0;
  virtual void make_read_only(const PlatformPath& path) = 0;
  // Keeps the file open without any sharing until the world goes, as another program may.
  virtual void hold_open(const PlatformPath& path) = 0;
  // The file's bytes; nullopt when there is no file at the path.
  virtual std::optional<std::vector<std::byte>> content(const PlatformPath& path) = 0;
  // Where the realisation sets a file's information through a handle (the rename and the delete
  // on Windows), the fault injector in front of that call: operation "set_information", subject
  // "class N" (the FILE_INFO_BY_HANDLE_CLASS). nullptr where there is no such call (the fake).
  virtual testing::FaultInjector* information_faults() { return nullptr; }
};

class RegistryWorld {
 public:
  virtual ~RegistryWorld() = default;

  virtual Registry& registry() = 0;
  // A path under HKEY_CURRENT_USER that does not exist yet and that no other case uses; the key
  // and everything below it go with the world.
  virtual const std::u16string& base() const = 0;
};

class ProcessWorld {
 public:
  virtual ~ProcessWorld() = default;

  virtual Process& process() = 0;
  // The user's Local AppData folder as the profile records it, read past the code under test;
  // nullopt when the profile names none.
  virtual std::optional<PlatformPath> profile_local_app_data() = 0;
};

struct Side {
  std::string name;  // letters only: it names the test instances
  std::function<std::unique_ptr<FilesWorld>()> make_files;
  std::function<std::unique_ptr<RegistryWorld>()> make_registry;
  std::function<std::unique_ptr<ProcessWorld>()> make_process;
  // Where the platform under test is knowingly looser than Windows, why: the cases skip the
  // Windows refusal they cannot observe there, and the fake keeps to Windows. Empty otherwise.
  std::string replaces_read_only_by_rename;
  std::string opens_read_only_for_writing;
};

// The one side this test program runs against; each side's own file defines it.
const Side& side_under_test();

inline std::string side_name(const ::testing::TestParamInfo<const Side*>& info) {
  return info.param->name;
}

std::vector<std::byte> bytes_of(std::string_view text);

class FilesContract : public ::testing::TestWithParam<const Side*> {
 protected:
  void SetUp() override { world_ = GetParam()->make_files(); }
  void TearDown() override { world_.reset(); }

  const Side& side() const { return *GetParam(); }
  FilesWorld& world() { return *world_; }
  Files& files() { return world_->files(); }
  // `name` (which may hold "\" itself) inside the scratch folder.
  PlatformPath at(std::u16string_view name) const {
    return world_->root() + u"\\" + std::u16string(name);
  }

 private:
  std::unique_ptr<FilesWorld> world_;
};

class RegistryContract : public ::testing::TestWithParam<const Side*> {
 protected:
  void SetUp() override { world_ = GetParam()->make_registry(); }
  void TearDown() override { world_.reset(); }

  Registry& registry() { return world_->registry(); }
  // `name` below the case's own key; the base key itself for an empty name.
  std::u16string key(std::u16string_view name = {}) const {
    return name.empty() ? world_->base() : world_->base() + u"\\" + std::u16string(name);
  }

 private:
  std::unique_ptr<RegistryWorld> world_;
};

class ProcessContract : public ::testing::TestWithParam<const Side*> {
 protected:
  void SetUp() override { world_ = GetParam()->make_process(); }
  void TearDown() override { world_.reset(); }

  ProcessWorld& world() { return *world_; }
  Process& process() { return world_->process(); }

 private:
  std::unique_ptr<ProcessWorld> world_;
};

}  // namespace orvane::contract
