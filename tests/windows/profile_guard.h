#pragma once
// Keeps the user's profile as it was across a test run on a real machine. Before its first case
// a run saves every guarded registry item (below HKEY_CURRENT_USER) into a file; after every
// case, failed ones included, and at its end it puts back each item that differs. A run that
// died leaves the file behind, and the next run puts that copy back before it saves its own.
// The lock and the saved copy live in a folder that does not depend on the environment (a run
// that died may have left the next one a different TEMP); the cases' folders live below the
// temporary folder, which the saved copy names, so that the next run also removes a died run's.
// One run at a time: the guard holds its lock file open without sharing for as long as it lives.

#include <string>
#include <vector>

#include "kit_registry.h"

namespace kit {

enum class Guarded {
  Value,       // one value: its type and bytes, or its absence
  KeyTree,     // a key with everything below it, or its absence (and which parents it lacked)
  AccessList,  // a key's access list, for cases that make the key unwritable
};

struct GuardedItem {
  Guarded kind;
  const wchar_t* key;
  const wchar_t* value = L"";  // for Guarded::Value
};

// Everything a case may change outside its own folder. Security comes first: it is put back
// first, so that the other items can be written again.
inline constexpr GuardedItem guarded_items[] = {
    {Guarded::AccessList, environment_key},
    {Guarded::Value, environment_key, L"Path"},
    {Guarded::KeyTree, uninstall_key},
    {Guarded::KeyTree, command_processor_key},
    {Guarded::KeyTree, wine_setup_settings_key},
};

class ProfileGuard {
 public:
  // `folder`: where the lock and the saved copy live; `cases_folder`: below which the cases'
  // folders are made.
  ProfileGuard(std::wstring folder, std::wstring cases_folder);
  ~ProfileGuard();
  ProfileGuard(const ProfileGuard&) = delete;
  ProfileGuard& operator=(const ProfileGuard&) = delete;

  // Takes the lock; puts back the copy a run that died left (saying so in *notes); removes its
  // case folders; saves the profile as it is now. "" or why the run cannot go on.
  std::string open(std::vector<std::string>* notes);
  // Puts back every saved item that differs now. "" or what could not be put back.
  std::string restore();
  // Puts back, tells running programs that the environment changed when Path was put back
  // during the run, and deletes the saved copy and the cases' folders; the copy stays when
  // anything could not be put back. "" or what could not.
  std::string close();

  // A new, empty folder for one case, below the run's folder.
  std::wstring new_case_folder();
  const std::wstring& saved_file() const { return saved_file_; }

  struct Item;

 private:
  std::wstring folder_, saved_file_, cases_folder_;
  void* lock_ = nullptr;
  std::vector<Item>* saved_ = nullptr;
  bool path_restored_ = false;
  unsigned case_count_ = 0;
};

}  // namespace kit
