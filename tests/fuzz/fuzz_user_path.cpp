// same_path_entry, path_with_folder and path_without_folder on any texts. The input up to its
// first 0 byte is the folder text; the rest is the old Path value (a 0 byte in it is kept).

#include <optional>

#include "fuzz_support.h"
#include "user_registry/user_path.h"

namespace orvane::fuzz {
namespace {

using Entries = std::vector<std::string>;

// Every ";" ends an entry; the empty text is one empty entry.
Entries entries_of(std::string_view value) {
  Entries out(1);
  for (char c : value) {
    if (c == ';') {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

Entries non_empty(const Entries& entries) {
  Entries out;
  for (const std::string& e : entries) {
    if (!e.empty()) out.push_back(e);
  }
  return out;
}

// The entries that removing keeps: not empty and not naming the folder, in stored order.
Entries kept(std::string_view value, std::string_view folder) {
  Entries out;
  for (const std::string& e : entries_of(value)) {
    if (!e.empty() && !same_path_entry(e, folder)) out.push_back(e);
  }
  return out;
}

std::string strip_trailing(std::string_view s, char c) {
  while (!s.empty() && s.back() == c) s.remove_suffix(1);
  return std::string(s);
}

std::string ascii_upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  }
  return out;
}

void check_entry_rule(std::string_view entry, std::string_view folder) {
  FUZZ_CHECK(same_path_entry(folder, folder));
  FUZZ_CHECK(same_path_entry(entry, folder) == same_path_entry(folder, entry));
  FUZZ_CHECK(same_path_entry(std::string(folder) + "\\\\\\", folder));
  FUZZ_CHECK(same_path_entry(ascii_upper(folder), folder));
  // Only trailing backslashes and ASCII case are ignored.
  FUZZ_CHECK(same_path_entry(entry, folder) ==
             (ascii_upper(strip_trailing(entry, '\\')) == ascii_upper(strip_trailing(folder, '\\'))));
}

void check_removal(std::string_view old_value, std::string_view folder) {
  const std::string removed = path_without_folder(old_value, folder);
  const Entries left = kept(old_value, folder);
  // Exactly the kept entries, in order, one ";" between neighbours: so no empty entry and no
  // entry naming the folder is left, and a second removal changes nothing.
  if (left.empty()) {
    FUZZ_CHECK(removed.empty());
  } else {
    FUZZ_CHECK(entries_of(removed) == left);
  }
  FUZZ_CHECK(path_without_folder(removed, folder) == removed);
}

void check_addition(std::string_view old_value, std::string_view folder) {
  const std::optional<std::string> added = path_with_folder(old_value, folder);
  bool present = false;
  for (const std::string& e : entries_of(old_value)) present |= same_path_entry(e, folder);
  FUZZ_CHECK(added.has_value() == !present);
  const bool one_entry = folder.find(';') == std::string_view::npos;

  if (added) {
    // The old text less its trailing ";" run, a ";" unless it was empty, then the folder:
    // no entry is lost or reordered, and inner and leading empty entries stay.
    if (old_value.empty()) {
      FUZZ_CHECK(*added == folder);
    } else {
      FUZZ_CHECK(*added == strip_trailing(old_value, ';') + ";" + std::string(folder));
    }
    Entries expected = non_empty(entries_of(old_value));
    for (const std::string& e : non_empty(entries_of(folder))) expected.push_back(e);
    FUZZ_CHECK(non_empty(entries_of(*added)) == expected);
    // A folder of one entry is then present: adding again changes nothing.
    if (one_entry) FUZZ_CHECK(!path_with_folder(*added, folder).has_value());
  }

  // Removing after adding leaves the old entries less empties and folder matches.
  if (one_entry) {
    const std::string after = path_without_folder(added.value_or(std::string(old_value)), folder);
    FUZZ_CHECK(after == path_without_folder(old_value, folder));
    if (kept(old_value, folder).empty()) FUZZ_CHECK(after.empty());
    // Adding after removing always adds, unless the folder reads as an empty entry.
    if (!strip_trailing(folder, '\\').empty()) {
      const std::optional<std::string> readded = path_with_folder(after, folder);
      FUZZ_CHECK(readded.has_value());
      FUZZ_CHECK(*readded == (after.empty() ? std::string(folder) : after + ";" + std::string(folder)));
    }
  }
}

}  // namespace
}  // namespace orvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  using namespace orvane::fuzz;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string_view folder = input.substr(0, cut);
  const std::string_view old_value = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

  const Entries entries = entries_of(old_value);
  check_entry_rule(entries.front(), folder);
  check_entry_rule(entries.back(), folder);
  check_removal(old_value, folder);
  check_addition(old_value, folder);
  return 0;
}
