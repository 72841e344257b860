#include "profile_guard.h"

#include <windows.h>

#include <sstream>

namespace kit {

// One guarded item as it was (or is).
struct ProfileGuard::Item {
  Guarded kind = Guarded::Value;
  std::wstring key, value_name;
  bool present = false;
  RegValue value;         // Guarded::Value
  Tree tree;              // Guarded::KeyTree
  Bytes security;         // Guarded::AccessList
  std::wstring ancestor;  // Guarded::KeyTree, absent: the deepest parent key that existed
};

namespace {

using Item = ProfileGuard::Item;

constexpr char file_header[] = "orvane-kit saved profile 1";

const char* kind_word(Guarded kind) {
  return kind == Guarded::Value ? "value" : kind == Guarded::KeyTree ? "tree" : "security";
}

std::string field(const Bytes& bytes) { return bytes.empty() ? "-" : hex(bytes); }
std::string field(const std::wstring& text) { return field(bytes_of_utf16(text)); }
Bytes bytes_field(const std::string& word) { return word == "-" ? Bytes{} : unhex(word); }
std::wstring text_field(const std::string& word) { return utf16_of(bytes_field(word)); }

std::wstring parent_of(const std::wstring& key) {
  const size_t slash = key.find_last_of(L'\\');
  return slash == std::wstring::npos ? L"" : key.substr(0, slash);
}

std::wstring deepest_existing(const std::wstring& key) {
  std::wstring parent = parent_of(key);
  while (!parent.empty() && !key_exists(parent)) parent = parent_of(parent);
  return parent;
}

Item capture(Guarded kind, const std::wstring& key, const std::wstring& value_name) {
  Item item;
  item.kind = kind;
  item.key = key;
  item.value_name = value_name;
  switch (kind) {
    case Guarded::Value:
      if (std::optional<RegValue> value = read_value(key, value_name)) {
        item.present = true;
        item.value = *value;
      }
      break;
    case Guarded::KeyTree:
      if (std::optional<Tree> tree = read_tree(key)) {
        item.present = true;
        item.tree = *tree;
      } else {
        item.ancestor = deepest_existing(key);
      }
      break;
    case Guarded::AccessList:
      if (std::optional<Bytes> security = read_security(key)) {
        item.present = true;
        item.security = *security;
      }
      break;
  }
  return item;
}

bool same(const Item& saved, const Item& now) {
  if (saved.present != now.present) return false;
  if (!saved.present) return saved.kind != Guarded::KeyTree || saved.ancestor == now.ancestor;
  switch (saved.kind) {
    case Guarded::Value: return saved.value == now.value;
    case Guarded::KeyTree: return same_tree(saved.tree, now.tree);
    case Guarded::AccessList: return saved.security == now.security;
  }
  return false;
}

std::string name_of(const Item& item) {
  std::string name = "HKCU\\" + utf8(item.key);
  if (item.kind == Guarded::Value) name += " [" + utf8(item.value_name) + "]";
  if (item.kind == Guarded::AccessList) name += " (access list)";
  return name;
}

// Writes the saved state back; the Win32 status of the first step that failed.
LONG put_back(const Item& saved) {
  switch (saved.kind) {
    case Guarded::Value:
      if (saved.present) return set_value(saved.key, saved.value_name, saved.value);
      {
        const LONG status = delete_value(saved.key, saved.value_name);
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
      }
    case Guarded::KeyTree: {
      LONG status = delete_tree(saved.key);
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
      if (saved.present) return write_tree(saved.key, saved.tree);
      // The parents that did not exist go again, as long as nothing else has come into them.
      for (std::wstring parent = parent_of(saved.key);
           parent.size() > saved.ancestor.size() && !parent.empty(); parent = parent_of(parent)) {
        const std::optional<KeyContents> contents = read_key(parent);
        if (!contents || !contents->values.empty() || !contents->subkeys.empty()) break;
        RegDeleteKeyW(HKEY_CURRENT_USER, parent.c_str());
      }
      return ERROR_SUCCESS;
    }
    case Guarded::AccessList:
      return saved.present ? set_security(saved.key, saved.security) : ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

std::string serialise(const std::vector<Item>& items, const std::wstring& cases_folder) {
  std::ostringstream out;
  out << file_header << "\n";
  out << "cases " << field(cases_folder) << "\n";
  for (const Item& item : items) {
    out << kind_word(item.kind) << " " << field(item.key) << " " << field(item.value_name) << " "
        << (item.present ? "present" : "absent");
    switch (item.kind) {
      case Guarded::Value:
        if (item.present) out << " " << item.value.type << " " << field(item.value.data);
        out << "\n";
        break;
      case Guarded::AccessList:
        if (item.present) out << " " << field(item.security);
        out << "\n";
        break;
      case Guarded::KeyTree:
        if (!item.present) {
          out << " " << field(item.ancestor) << "\n";
          break;
        }
        out << " " << item.tree.size() << "\n";
        for (const TreeKey& key : item.tree) {
          out << "key " << field(key.path) << " " << key.values.size() << "\n";
          for (const NamedValue& v : key.values) {
            out << "v " << field(v.name) << " " << v.value.type << " " << field(v.value.data)
                << "\n";
          }
        }
        break;
    }
  }
  out << "end\n";
  return out.str();
}

bool parse(const std::string& text, std::vector<Item>* items, std::wstring* cases_folder) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != file_header) return false;
  std::string word, folder;
  if (!(in >> word >> folder) || word != "cases") return false;
  *cases_folder = text_field(folder);
  while (in >> word) {
    if (word == "end") return true;
    Item item;
    std::string key, name, presence;
    if (!(in >> key >> name >> presence)) return false;
    if (word == "value") {
      item.kind = Guarded::Value;
    } else if (word == "tree") {
      item.kind = Guarded::KeyTree;
    } else if (word == "security") {
      item.kind = Guarded::AccessList;
    } else {
      return false;
    }
    item.key = text_field(key);
    item.value_name = text_field(name);
    item.present = presence == "present";
    if (!item.present && presence != "absent") return false;
    std::string a, b;
    if (item.kind == Guarded::Value && item.present) {
      if (!(in >> a >> b)) return false;
      item.value = {static_cast<DWORD>(std::stoul(a)), bytes_field(b)};
    } else if (item.kind == Guarded::AccessList && item.present) {
      if (!(in >> a)) return false;
      item.security = bytes_field(a);
    } else if (item.kind == Guarded::KeyTree && !item.present) {
      if (!(in >> a)) return false;
      item.ancestor = text_field(a);
    } else if (item.kind == Guarded::KeyTree) {
      size_t keys = 0;
      if (!(in >> keys)) return false;
      for (size_t k = 0; k < keys; ++k) {
        std::string tag, path;
        size_t values = 0;
        if (!(in >> tag >> path >> values) || tag != "key") return false;
        TreeKey tree_key{text_field(path), {}};
        for (size_t v = 0; v < values; ++v) {
          std::string vtag, vname, vtype, vdata;
          if (!(in >> vtag >> vname >> vtype >> vdata) || vtag != "v") return false;
          tree_key.values.push_back(
              {text_field(vname), {static_cast<DWORD>(std::stoul(vtype)), bytes_field(vdata)}});
        }
        item.tree.push_back(tree_key);
      }
    }
    items->push_back(item);
  }
  return false;  // no "end": the file was cut short
}

// Writes the file whole or not at all: a new copy beside it, flushed, then moved over it.
bool write_atomically(const std::wstring& path, const std::string& text) {
  const std::wstring temporary = path + L".new";
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size() && FlushFileBuffers(file);
  CloseHandle(file);
  ok = ok && MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

// Puts back every item that differs; "" or the items that could not be put back.
std::string restore_items(const std::vector<Item>& items, bool* path_written) {
  std::string problems;
  for (const Item& saved : items) {
    if (same(saved, capture(saved.kind, saved.key, saved.value_name))) continue;
    const LONG status = put_back(saved);
    if (saved.kind == Guarded::Value && saved.key == environment_key) *path_written = true;
    if (status != ERROR_SUCCESS || !same(saved, capture(saved.kind, saved.key, saved.value_name))) {
      problems += (problems.empty() ? "" : "; ") + name_of(saved) + " (status " +
                  std::to_string(status) + ")";
    }
  }
  return problems;
}

}  // namespace

ProfileGuard::ProfileGuard(std::wstring folder, std::wstring cases_folder)
    : folder_(std::move(folder)),
      saved_file_(folder_ + L"\\saved-profile.txt"),
      cases_folder_(std::move(cases_folder)),
      saved_(new std::vector<Item>) {}

ProfileGuard::~ProfileGuard() {
  if (lock_ != nullptr) CloseHandle(lock_);
  delete saved_;
}

std::string ProfileGuard::open(std::vector<std::string>* notes) {
  if (!make_directories(folder_)) return "cannot create " + utf8(folder_);
  const std::wstring lock = folder_ + L"\\lock";
  lock_ = CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (lock_ == INVALID_HANDLE_VALUE) {
    lock_ = nullptr;
    return GetLastError() == ERROR_SHARING_VIOLATION
               ? "another test run holds this profile (" + utf8(lock) + "); wait for it to end"
               : "cannot open " + utf8(lock) + " (error " + std::to_string(GetLastError()) + ")";
  }
  if (std::optional<Bytes> left = read_file(saved_file_)) {
    std::vector<Item> items;
    std::wstring left_cases;
    if (!parse(bytes_text(*left), &items, &left_cases)) {
      return "cannot read the profile copy a run left in " + utf8(saved_file_) +
             "; put the values it holds back by hand, then delete it";
    }
    bool path_written = false;
    const std::string problems = restore_items(items, &path_written);
    if (!problems.empty()) return "cannot put back the profile copy a run left: " + problems;
    path_restored_ = path_written;
    if (!left_cases.empty() && !remove_tree(left_cases)) {
      return "cannot remove the folders a run that did not finish left in " + utf8(left_cases);
    }
    notes->push_back("put back the profile that a run which did not finish saved in " +
                     utf8(saved_file_));
  }
  if (!remove_tree(cases_folder_)) return "cannot remove the cases' folders in " + utf8(cases_folder_);
  saved_->clear();
  for (const GuardedItem& g : guarded_items) saved_->push_back(capture(g.kind, g.key, g.value));
  if (!write_atomically(saved_file_, serialise(*saved_, cases_folder_))) {
    return "cannot write " + utf8(saved_file_);
  }
  return "";
}

std::string ProfileGuard::restore() {
  bool path_written = false;
  const std::string problems = restore_items(*saved_, &path_written);
  path_restored_ = path_restored_ || path_written;
  return problems;
}

std::string ProfileGuard::close() {
  std::string problems = restore();
  if (path_restored_) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
  }
  if (!remove_tree(cases_folder_)) {
    problems += (problems.empty() ? "" : "; ") + std::string("cannot remove ") + utf8(cases_folder_);
  }
  if (problems.empty()) DeleteFileW(saved_file_.c_str());
  CloseHandle(lock_);
  lock_ = nullptr;
  if (problems.empty()) RemoveDirectoryW(folder_.c_str());
  return problems;
}

std::wstring ProfileGuard::new_case_folder() {
  const std::wstring folder = cases_folder_ + L"\\c" + std::to_wstring(++case_count_);
  remove_tree(folder);
  make_directories(folder);
  return folder;
}

}  // namespace kit
