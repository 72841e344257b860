#include "install/file_placement.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "platform/win32_codes.h"
#include "product/product_identity.h"

namespace orvane {
namespace {

using testing::bytes_of;
using testing::FakePlatform;

const std::u16string folder = FakePlatform::folder;
const std::u16string payload = folder + u"\\orvane-worker.exe";
const std::u16string old_copy = folder + u"\\orvane-worker.exe.old";
const std::u16string uninstaller = folder + u"\\uninstall.exe";
const std::vector<std::byte> image_bytes = bytes_of("MZ new image");
const PayloadImage image{"orvane-worker.exe", image_bytes};

struct FilePlacement : ::testing::Test {
  FakePlatform fake;
  Platform& platform = fake.platform;
  std::size_t calls(const char* operation) { return fake.faults.count(operation); }
};

TEST_F(FilePlacement, CreatesMissingParentsTopMostFirst) {
  ASSERT_FALSE(fake.files.exists(u"C:\\Users\\Owner\\AppData\\Local\\Programs"));
  ASSERT_TRUE(create_install_folder(platform, folder).ok());
  EXPECT_TRUE(fake.files.is_directory(folder));
  std::vector<std::u16string> made;
  for (const auto& call : fake.faults.calls()) {
    if (call.operation == "make_directory") made.push_back(call.subject);
  }
  // The walk up stops at the first directory it can make; the rest are made on the way down.
  EXPECT_EQ(made, (std::vector<std::u16string>{folder, u"C:\\Users\\Owner\\AppData\\Local\\Programs", folder}));
}

TEST_F(FilePlacement, ExistingFolderTakesOneDirectoryCall) {
  fake.files.add_directory(folder);
  ASSERT_TRUE(create_install_folder(platform, folder).ok());
  EXPECT_EQ(calls("make_directory"), 1u);
}

TEST_F(FilePlacement, FolderCreationFailures) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    std::string message;
  } cases[] = {
      {"a file where the folder should be",
       [](FakePlatform& f) { f.files.add_file(FakePlatform::folder); },
       "Cannot create " + std::string(FakePlatform::folder_text) +
           ": Cannot create a file when that file already exists. (os error 183)"},
      {"a parent cannot be made: the message still names the folder",
       [](FakePlatform& f) { f.faults.fail("make_directory", 5, u"Programs", -1); },
       "Cannot create " + std::string(FakePlatform::folder_text) + ": Access is denied. (os error 5)"},
      {"raced creation that is not a directory",
       [](FakePlatform& f) {
         f.faults.fail("make_directory", 3, u"Orvane Worker", 1);
         f.faults.fail("make_directory", 183, u"Orvane Worker", 1);
       },
       "Cannot create " + std::string(FakePlatform::folder_text) +
           ": Cannot create a file when that file already exists. (os error 183)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform f;
    c.arrange(f);
    const SetupResult r = create_install_folder(f.platform, FakePlatform::folder);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, c.message);
  }
}

TEST_F(FilePlacement, RaceWhereAnotherProcessMadeTheFolderIsFine) {
  fake.faults.fail("make_directory", 3, u"Orvane Worker", 1);
  fake.files.add_directory(u"C:\\Users\\Owner\\AppData\\Local\\Programs");
  fake.faults.fail("make_directory", 183, u"Orvane Worker", 1);
  fake.files.add_directory(folder);  // the "other process"
  EXPECT_TRUE(create_install_folder(platform, folder).ok());
}

TEST_F(FilePlacement, BareRootOrEmptyFolderNeedsNoCall) {
  for (const char16_t* root : {u"", u"C:\\", u"C:", u"\\\\server\\share\\"}) {
    SCOPED_TRACE(from_wide_lossy(root));
    EXPECT_TRUE(create_install_folder(platform, root).ok());
  }
  EXPECT_EQ(calls("make_directory"), 0u);
}

TEST_F(FilePlacement, RelativeFolderIsCreatedUnderTheCurrentDirectory) {
  ASSERT_TRUE(create_install_folder(platform, u"Programs\\Orvane Worker").ok());
  EXPECT_TRUE(fake.files.is_directory(u"Programs\\Orvane Worker"));
}

TEST_F(FilePlacement, FirstPlacementWritesTheImage) {
  fake.files.add_directory(folder);
  ASSERT_TRUE(place_carried_file(platform, folder, image).ok());
  EXPECT_EQ(fake.files.find(payload)->bytes, image_bytes);
  EXPECT_FALSE(fake.files.exists(old_copy));
  EXPECT_EQ(calls("rename_replacing"), 0u);
  EXPECT_EQ(calls("delete_file"), 1u);  // the old copy's delete runs and finds nothing
}

TEST_F(FilePlacement, ReplacesAnOldCopyAndCleansUp) {
  fake.files.add_file(payload, bytes_of("MZ old"));
  fake.files.add_file(old_copy, bytes_of("MZ older"));
  ASSERT_TRUE(place_carried_file(platform, folder, image).ok());
  EXPECT_EQ(fake.files.find(payload)->bytes, image_bytes);
  EXPECT_FALSE(fake.files.exists(old_copy));
}

TEST_F(FilePlacement, RunningProgramIsMovedAsideAndKept) {
  fake.files.add_file(payload, bytes_of("MZ old"));
  fake.files.find(payload)->running = true;
  ASSERT_TRUE(place_carried_file(platform, folder, image).ok());
  EXPECT_EQ(fake.files.find(payload)->bytes, image_bytes);
  ASSERT_TRUE(fake.files.exists(old_copy));
  EXPECT_EQ(fake.files.find(old_copy)->bytes, bytes_of("MZ old"));
  EXPECT_TRUE(fake.files.find(old_copy)->running);
}

TEST_F(FilePlacement, WriteFailures) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    std::string description;
  } cases[] = {
      {"locked old file: neither moved nor opened",
       [](FakePlatform& f) {
         f.files.add_file(payload, bytes_of("MZ old"));
         f.files.find(payload)->locked = true;
       },
       "The process cannot access the file because it is being used by another process. (os error 32)"},
      {"disk full", [](FakePlatform& f) { f.faults.fail("write_whole_file", 112); },
       "There is not enough space on the disk. (os error 112)"},
      {"unknown code", [](FakePlatform& f) { f.faults.fail("write_whole_file", 1234); },
       "OS Error 1234 (FormatMessageW() returned error 317)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform f;
    f.files.add_directory(FakePlatform::folder);
    c.arrange(f);
    const SetupResult r = place_carried_file(f.platform, FakePlatform::folder, image);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "Cannot write " + from_wide_lossy(payload) + ": " + c.description);
    EXPECT_EQ(f.faults.count("delete_file"), 0u);
  }
}

TEST_F(FilePlacement, LockedOldFileStaysUnchanged) {
  fake.files.add_file(payload, bytes_of("MZ old"));
  fake.files.find(payload)->locked = true;
  EXPECT_FALSE(place_carried_file(platform, folder, image).ok());
  EXPECT_EQ(fake.files.find(payload)->bytes, bytes_of("MZ old"));
}

TEST_F(FilePlacement, UninstallerIsACopyOfTheRunningProgram) {
  fake.files.add_directory(folder);
  ASSERT_TRUE(place_uninstaller(platform, folder).ok());
  EXPECT_EQ(fake.files.find(uninstaller)->bytes, FakePlatform::setup_bytes);
}

TEST_F(FilePlacement, UninstallerCopyFailureIsIgnored) {
  fake.files.add_file(uninstaller, bytes_of("MZ previous"));
  fake.files.find(uninstaller)->running = true;
  ASSERT_TRUE(place_uninstaller(platform, folder).ok());
  EXPECT_EQ(fake.files.find(uninstaller)->bytes, bytes_of("MZ previous"));
}

TEST_F(FilePlacement, RunningFromTheUninstallerCopiesNothing) {
  fake.files.add_file(uninstaller, bytes_of("MZ setup"));
  fake.process.executable = u"c:/Users/Owner/AppData/Local/Programs/Orvane Worker//uninstall.exe";
  ASSERT_TRUE(place_uninstaller(platform, folder).ok());
  EXPECT_EQ(calls("copy_file_replacing"), 0u);
}

TEST_F(FilePlacement, UnknownOwnPathIsTheBareDescription) {
  fake.faults.fail("running_executable_path", 122);
  const SetupResult r = place_uninstaller(platform, folder);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "The data area passed to a system call is too small. (os error 122)");
}

TEST_F(FilePlacement, DeleteFileRemovesReadOnlyFiles) {
  fake.files.add_file(payload);
  fake.files.find(payload)->read_only = true;
  EXPECT_TRUE(delete_file(fake.files, payload).ok());
  EXPECT_FALSE(fake.files.exists(payload));
  EXPECT_EQ(delete_file(fake.files, payload).error().code, 2u);
}

TEST(CarriedFiles, HoldOneRecordWithThePayloadBytes) {
  ASSERT_EQ(carried_files().size(), 1u);
  EXPECT_EQ(carried_files()[0].name, "orvane-worker.exe");
  std::FILE* f = std::fopen(ORVANE_PAYLOAD_FILE, "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::byte> expected;
  for (int c; (c = std::fgetc(f)) != EOF;) expected.push_back(static_cast<std::byte>(c));
  std::fclose(f);
  const std::span<const std::byte> bytes = carried_files()[0].bytes;
  EXPECT_EQ(std::vector<std::byte>(bytes.begin(), bytes.end()), expected);
}

}  // namespace
}  // namespace orvane
