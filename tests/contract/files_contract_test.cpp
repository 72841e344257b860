// What installation and removal rely on from `Files`: how a folder creation fails, that moves and
// copies replace, that a write leaves exactly the new bytes, that read-only files still go.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract.h"
#include "platform/win32_codes.h"
#include "platform/wide_string.h"

namespace orvane::contract {
namespace {

constexpr std::uint32_t file_not_found = 2;
constexpr std::uint32_t path_not_found = 3;
constexpr std::uint32_t access_denied = 5;
constexpr std::uint32_t sharing_violation = 32;
constexpr std::uint32_t already_exists = 183;

// How a file system refuses an information class of Windows 10 1607 (FileRenameInfoEx,
// FileDispositionInfoEx), and whether the older class is then worth a try: older Windows versions
// and Wine do not know the class (87, 50), FAT and exFAT refuse POSIX semantics (665), a file
// system that does not implement a class says so (1). A refusal for any other reason is the
// answer.
struct Refusal {
  std::uint32_t code;
  bool falls_back;
};
constexpr Refusal refusals[] = {
    {win32::error_invalid_parameter, true},      {win32::error_not_supported, true},
    {win32::error_file_system_limitation, true}, {win32::error_invalid_function, true},
    {access_denied, false},                      {sharing_violation, false},
};

// The classes set through a handle since call number `from`, as "class N".
std::vector<std::u16string> classes_set(const testing::FaultInjector& faults, std::size_t from) {
  std::vector<std::u16string> classes;
  for (std::size_t k = from; k < faults.calls().size(); ++k) {
    if (faults.calls()[k].operation == "set_information") classes.push_back(faults.calls()[k].subject);
  }
  return classes;
}

std::u16string number(std::uint32_t code) {
  const std::string text = std::to_string(code);
  return std::u16string(text.begin(), text.end());
}

// 0 for success, otherwise the platform's code (a failure that has none shows as 0xFFFFFFFF).
std::uint32_t code_of(const Status& status) {
  if (status.ok()) return 0;
  return status.error().has_code() ? status.error().code : 0xFFFFFFFF;
}

std::optional<std::string> text_of(const std::optional<std::vector<std::byte>>& bytes) {
  if (!bytes) return std::nullopt;
  std::string text;
  for (const std::byte b : *bytes) text.push_back(static_cast<char>(b));
  return text;
}

INSTANTIATE_TEST_SUITE_P(Contract, FilesContract, ::testing::Values(&side_under_test()), side_name);

TEST_P(FilesContract, MakeDirectoryCreatesOneFolderInAnExistingOne) {
  const PlatformPath folder = at(u"Programs");
  EXPECT_EQ(code_of(files().make_directory(folder)), 0u);
  EXPECT_TRUE(files().path_exists(folder));
  EXPECT_TRUE(files().is_directory(folder));
  EXPECT_EQ(code_of(files().write_whole_file(folder + u"\\inside", bytes_of("x"))), 0u);
}

// The folder creation walks upward on NotFound and accepts AlreadyExists only for a folder.
TEST_P(FilesContract, MakeDirectoryTellsWhyItFailed) {
  world().add_directory(at(u"folder"));
  world().add_file(at(u"file"), bytes_of("kept"));
  struct Row {
    const char* what;
    PlatformPath path;
    std::uint32_t code;
    DirectoryError kind;
  };
  const Row rows[] = {
      {"an existing folder", at(u"folder"), already_exists, DirectoryError::AlreadyExists},
      {"an existing file", at(u"file"), already_exists, DirectoryError::AlreadyExists},
      {"a missing parent", at(u"missing\\new"), path_not_found, DirectoryError::NotFound},
      {"a missing grandparent", at(u"missing\\deeper\\new"), path_not_found,
       DirectoryError::NotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Status status = files().make_directory(row.path);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(code_of(status), row.code);
    EXPECT_EQ(classify_directory_error(status.error()), row.kind);
  }
  EXPECT_FALSE(files().path_exists(at(u"missing")));
  EXPECT_FALSE(files().is_directory(at(u"file")));
  EXPECT_EQ(text_of(world().content(at(u"file"))), "kept");
}

TEST_P(FilesContract, PathExistsAndIsDirectoryTellFilesFoldersAndMissingPaths) {
  world().add_file(at(u"file"), bytes_of("x"));
  world().add_directory(at(u"folder"));
  world().add_file(at(u"folder\\inner.exe"), bytes_of("x"));
  world().add_file(at(u"read-only"), bytes_of("x"));
  world().make_read_only(at(u"read-only"));
  struct Row {
    const char* what;
    PlatformPath path;
    bool exists;
    bool directory;
  };
  const Row rows[] = {
      {"a file", at(u"file"), true, false},
      {"a folder", at(u"folder"), true, true},
      {"a file in a folder", at(u"folder\\inner.exe"), true, false},
      {"a read-only file", at(u"read-only"), true, false},
      {"the scratch folder itself", world().root(), true, true},
      {"a missing name", at(u"missing"), false, false},
      {"a name in a missing folder", at(u"missing\\file"), false, false},
      {"a name below a file", at(u"file\\inner"), false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(files().path_exists(row.path), row.exists);
    EXPECT_EQ(files().is_directory(row.path), row.directory);
  }
}

// A program that still runs, or that another program holds open, is there to be moved aside; it
// can be neither written nor deleted meanwhile.
TEST_P(FilesContract, AFileHeldOpenIsPresentButCannotBeWrittenOrDeleted) {
  world().add_file(at(u"orvane-worker.exe"), bytes_of("in use"));
  world().hold_open(at(u"orvane-worker.exe"));
  EXPECT_TRUE(files().path_exists(at(u"orvane-worker.exe")));
  EXPECT_FALSE(files().is_directory(at(u"orvane-worker.exe")));
  EXPECT_EQ(code_of(files().write_whole_file(at(u"orvane-worker.exe"), bytes_of("new"))),
            sharing_violation);
  EXPECT_EQ(code_of(files().delete_file(at(u"orvane-worker.exe"))), sharing_violation);
  EXPECT_EQ(
      code_of(files().rename_replacing(at(u"orvane-worker.exe"), at(u"orvane-worker.exe.old"))),
      sharing_violation);
}

TEST_P(FilesContract, RenameReplacingMovesAFileToAFreeName) {
  world().add_file(at(u"orvane-worker.exe"), bytes_of("old program"));
  EXPECT_EQ(
      code_of(files().rename_replacing(at(u"orvane-worker.exe"), at(u"orvane-worker.exe.old"))),
      0u);
  EXPECT_FALSE(files().path_exists(at(u"orvane-worker.exe")));
  EXPECT_EQ(text_of(world().content(at(u"orvane-worker.exe.old"))), "old program");
}

// An old copy left by an earlier run is replaced by the next move aside.
TEST_P(FilesContract, RenameReplacingReplacesAnExistingFile) {
  world().add_file(at(u"orvane-worker.exe"), bytes_of("newer"));
  world().add_file(at(u"orvane-worker.exe.old"), bytes_of("left by an earlier run"));
  EXPECT_EQ(
      code_of(files().rename_replacing(at(u"orvane-worker.exe"), at(u"orvane-worker.exe.old"))),
      0u);
  EXPECT_FALSE(files().path_exists(at(u"orvane-worker.exe")));
  EXPECT_EQ(text_of(world().content(at(u"orvane-worker.exe.old"))), "newer");
}

TEST_P(FilesContract, RenameReplacingOfAMissingSourceFailsAndKeepsTheDestination) {
  world().add_file(at(u"destination"), bytes_of("kept"));
  EXPECT_EQ(code_of(files().rename_replacing(at(u"missing"), at(u"destination"))), file_not_found);
  EXPECT_EQ(text_of(world().content(at(u"destination"))), "kept");
}

TEST_P(FilesContract, RenameReplacingRefusesAReadOnlyDestination) {
  if (!side().replaces_read_only_by_rename.empty())
    GTEST_SKIP() << side().replaces_read_only_by_rename;
  world().add_file(at(u"source"), bytes_of("new"));
  world().add_file(at(u"destination"), bytes_of("kept"));
  world().make_read_only(at(u"destination"));
  EXPECT_EQ(code_of(files().rename_replacing(at(u"source"), at(u"destination"))), access_denied);
  EXPECT_EQ(text_of(world().content(at(u"source"))), "new");
  EXPECT_EQ(text_of(world().content(at(u"destination"))), "kept");
}

// MoveFileExW refuses a read-only destination, and so does the rename through a handle that
// follows (its flags do not ignore the attribute): with FileRenameInfoEx refused, FileRenameInfo
// is tried only for the refusals that mean the class is unknown.
TEST_P(FilesContract, RenameReplacingFallsBackToTheOlderClassOnlyWhereTheNewerOneIsRefused) {
  testing::FaultInjector* faults = world().information_faults();
  if (faults == nullptr) GTEST_SKIP() << "this side sets no information classes through a handle";
  if (!side().replaces_read_only_by_rename.empty())
    GTEST_SKIP() << side().replaces_read_only_by_rename << "; no rename through a handle follows";
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.code);
    const PlatformPath source = at(u"new-" + number(refusal.code));
    const PlatformPath destination = at(u"old-" + number(refusal.code));
    world().add_file(source, bytes_of("new"));
    world().add_file(destination, bytes_of("kept"));
    world().make_read_only(destination);
    faults->fail("set_information", refusal.code, u"class 22", 1);
    const std::size_t from = faults->calls().size();
    const Status status = files().rename_replacing(source, destination);
    const std::vector<std::u16string> tried = classes_set(*faults, from);
    EXPECT_EQ(tried, refusal.falls_back
                         ? (std::vector<std::u16string>{u"class 22", u"class 3"})
                         : std::vector<std::u16string>{u"class 22"});
    EXPECT_EQ(code_of(status), access_denied) << "MoveFileExW's own answer";
    EXPECT_EQ(text_of(world().content(source)), "new");
    EXPECT_EQ(text_of(world().content(destination)), "kept");
  }
}

// The size of the carried program, with every byte value and an odd length.
TEST_P(FilesContract, WriteWholeFileWritesExactlyTheBytes) {
  std::vector<std::byte> bytes(3 * 1024 * 1024 + 7);
  std::uint32_t state = 12345;
  for (std::byte& b : bytes) {
    state = state * 1103515245 + 12345;
    b = static_cast<std::byte>(state >> 24);
  }
  ASSERT_EQ(code_of(files().write_whole_file(at(u"orvane-worker.exe"), bytes)), 0u);
  const std::optional<std::vector<std::byte>> written = world().content(at(u"orvane-worker.exe"));
  ASSERT_TRUE(written.has_value());
  ASSERT_EQ(written->size(), bytes.size());
  EXPECT_TRUE(*written == bytes);
}

TEST_P(FilesContract, WriteWholeFileOverALongerFileLeavesOnlyTheNewBytes) {
  struct Row {
    const char* what;
    std::string bytes;
  };
  const Row rows[] = {{"fewer bytes", "new"}, {"no bytes", ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    world().add_file(at(u"target"), std::vector<std::byte>(64 * 1024, std::byte{'o'}));
    ASSERT_EQ(code_of(files().write_whole_file(at(u"target"), bytes_of(row.bytes))), 0u);
    EXPECT_EQ(text_of(world().content(at(u"target"))), row.bytes);
  }
}

TEST_P(FilesContract, WriteWholeFileFailsInAMissingFolder) {
  EXPECT_EQ(code_of(files().write_whole_file(at(u"missing\\file"), bytes_of("x"))), path_not_found);
  EXPECT_FALSE(files().path_exists(at(u"missing")));
}

TEST_P(FilesContract, WriteWholeFileRefusesAReadOnlyFile) {
  if (!side().opens_read_only_for_writing.empty())
    GTEST_SKIP() << side().opens_read_only_for_writing;
  world().add_file(at(u"read-only"), bytes_of("kept"));
  world().make_read_only(at(u"read-only"));
  EXPECT_EQ(code_of(files().write_whole_file(at(u"read-only"), bytes_of("new"))), access_denied);
  EXPECT_EQ(text_of(world().content(at(u"read-only"))), "kept");
}

TEST_P(FilesContract, DeleteFileRemovesAFileAlsoAReadOnlyOne) {
  for (const bool read_only : {false, true}) {
    SCOPED_TRACE(read_only ? "read-only" : "writable");
    world().add_file(at(u"orvane-worker.exe"), bytes_of("program"));
    if (read_only) world().make_read_only(at(u"orvane-worker.exe"));
    EXPECT_EQ(code_of(files().delete_file(at(u"orvane-worker.exe"))), 0u);
    EXPECT_FALSE(files().path_exists(at(u"orvane-worker.exe")));
    EXPECT_FALSE(world().content(at(u"orvane-worker.exe")).has_value());
  }
}

// A read-only file is deleted through a handle (DeleteFileW refuses it); on a file system that
// refuses FileDispositionInfoEx the delete clears the attribute and sets FileDispositionInfo.
TEST_P(FilesContract, DeleteFileFallsBackToTheOlderClassOnlyWhereTheNewerOneIsRefused) {
  testing::FaultInjector* faults = world().information_faults();
  if (faults == nullptr) GTEST_SKIP() << "this side sets no information classes through a handle";
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.code);
    const PlatformPath file = at(u"read-only-" + number(refusal.code));
    world().add_file(file, bytes_of("program"));
    world().make_read_only(file);
    faults->fail("set_information", refusal.code, u"class 21", 1);
    const std::size_t from = faults->calls().size();
    const Status status = files().delete_file(file);
    const std::vector<std::u16string> classes = classes_set(*faults, from);
    if (classes.empty()) {
      GTEST_SKIP() << "DeleteFileW deleted the read-only file itself (Wine run by root does: it "
                      "keeps the attribute as Unix permissions); Windows refuses it";
    }
    if (refusal.falls_back) {
      EXPECT_EQ(classes, (std::vector<std::u16string>{u"class 21", u"class 4"}));
      EXPECT_EQ(code_of(status), 0u);
      EXPECT_FALSE(world().content(file).has_value());
    } else {
      EXPECT_EQ(classes, std::vector<std::u16string>{u"class 21"});
      EXPECT_EQ(code_of(status), access_denied) << "DeleteFileW's own answer";
      EXPECT_EQ(text_of(world().content(file)), "program");
    }
  }
}

TEST_P(FilesContract, DeleteFileOfAMissingFileIsNotFound) {
  const Status status = files().delete_file(at(u"orvane-worker.exe.old"));
  EXPECT_EQ(code_of(status), file_not_found);
}

TEST_P(FilesContract, CopyFileReplacingCopiesToAFreeName) {
  world().add_file(at(u"setup.exe"), bytes_of("setup program"));
  EXPECT_EQ(code_of(files().copy_file_replacing(at(u"setup.exe"), at(u"uninstall.exe"))), 0u);
  EXPECT_EQ(text_of(world().content(at(u"setup.exe"))), "setup program");
  EXPECT_EQ(text_of(world().content(at(u"uninstall.exe"))), "setup program");
}

TEST_P(FilesContract, CopyFileReplacingOverwritesAnExistingLongerFile) {
  world().add_file(at(u"setup.exe"), bytes_of("newer"));
  world().add_file(at(u"uninstall.exe"), bytes_of("an older, longer uninstaller"));
  EXPECT_EQ(code_of(files().copy_file_replacing(at(u"setup.exe"), at(u"uninstall.exe"))), 0u);
  EXPECT_EQ(text_of(world().content(at(u"uninstall.exe"))), "newer");
}

TEST_P(FilesContract, CopyFileReplacingOfAMissingSourceFailsAndKeepsTheDestination) {
  world().add_file(at(u"uninstall.exe"), bytes_of("kept"));
  EXPECT_EQ(code_of(files().copy_file_replacing(at(u"missing"), at(u"uninstall.exe"))),
            file_not_found);
  EXPECT_EQ(text_of(world().content(at(u"uninstall.exe"))), "kept");
}

TEST_P(FilesContract, CopyFileReplacingRefusesAReadOnlyDestination) {
  if (!side().opens_read_only_for_writing.empty())
    GTEST_SKIP() << side().opens_read_only_for_writing;
  world().add_file(at(u"setup.exe"), bytes_of("newer"));
  world().add_file(at(u"uninstall.exe"), bytes_of("kept"));
  world().make_read_only(at(u"uninstall.exe"));
  EXPECT_EQ(code_of(files().copy_file_replacing(at(u"setup.exe"), at(u"uninstall.exe"))),
            access_denied);
  EXPECT_EQ(text_of(world().content(at(u"uninstall.exe"))), "kept");
}

}  // namespace

std::vector<std::byte> bytes_of(std::string_view text) {
  std::vector<std::byte> bytes;
  for (const char c : text) bytes.push_back(static_cast<std::byte>(c));
  return bytes;
}

}  // namespace orvane::contract
