// path_components, paths_equal, is_inside_install_folder and join_path on any paths. The input's
// UTF-16 units, cut at 0 units, give up to three paths; the second also serves as a name.

#include <algorithm>

#include "fuzz_support.h"
#include "paths/paths.h"
#include "product/product_identity.h"

namespace orvane::fuzz {
namespace {

using Kind = PathComponent::Kind;
using Components = std::vector<PathComponent>;

bool is_prefix(Kind k) {
  return k == Kind::DrivePrefix || k == Kind::UncPrefix || k == Kind::DevicePrefix ||
         k == Kind::VerbatimPrefix || k == Kind::VerbatimUncPrefix || k == Kind::VerbatimDrivePrefix;
}
bool is_verbatim(Kind k) {
  return k == Kind::VerbatimPrefix || k == Kind::VerbatimUncPrefix || k == Kind::VerbatimDrivePrefix;
}
bool is_separator(char16_t u) { return u == u'\\' || u == u'/'; }
bool is_ascii_letter(char16_t u) { return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'); }

bool within(std::u16string_view part, std::u16string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// The shape every split must have: at most one prefix, first; at most one root, right after it;
// names that are neither empty nor dots nor hold a separator; views into the path itself.
void check_shape(std::u16string_view path, const Components& parts) {
  const bool verbatim = !parts.empty() && is_verbatim(parts[0].kind);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const PathComponent& c = parts[k];
    FUZZ_CHECK(within(c.first, path) && within(c.second, path));
    if (is_prefix(c.kind)) FUZZ_CHECK(k == 0);
    if (c.kind == Kind::Root) FUZZ_CHECK(k == 0 || (k == 1 && is_prefix(parts[0].kind)));
    if (c.kind == Kind::DrivePrefix || c.kind == Kind::VerbatimDrivePrefix) {
      FUZZ_CHECK(c.first.size() == 1 && is_ascii_letter(c.first[0]));
    }
    if (c.kind == Kind::UncPrefix) FUZZ_CHECK(!c.first.empty() && !c.second.empty());
    if (c.kind == Kind::Name) {
      FUZZ_CHECK(!c.first.empty() && c.first != u"." && c.first != u"..");
      FUZZ_CHECK(c.first.find(u'\\') == std::u16string_view::npos);
      if (!verbatim) FUZZ_CHECK(c.first.find(u'/') == std::u16string_view::npos);
    }
    if (c.kind == Kind::CurrentDir && !verbatim) {
      // Kept only as the first name of a path with no root and no prefix but a drive.
      FUZZ_CHECK(k == 0 || (k == 1 && parts[0].kind == Kind::DrivePrefix));
    }
  }
  // Splitting the same text again gives the same components.
  FUZZ_CHECK(path_components(path) == parts);
}

// A text standing for the components, by which two paths are equal exactly when their texts
// are: each component's kind, and the texts of prefixes and names, drive letters in upper case
// (a root is a root whichever separator it is written with).
std::u16string canonical(std::u16string_view path) {
  std::u16string out;
  for (const PathComponent& c : path_components(path)) {
    out.push_back(char16_t(u'A' + static_cast<int>(c.kind)));
    if (c.kind == Kind::Root || c.kind == Kind::CurrentDir || c.kind == Kind::ParentDir) continue;
    std::u16string first(c.first);
    if (c.kind == Kind::DrivePrefix || c.kind == Kind::VerbatimDrivePrefix) {
      for (char16_t& u : first) u = (u >= u'a' && u <= u'z') ? char16_t(u - 0x20) : u;
    }
    for (std::u16string_view text : {std::u16string_view(first), c.second}) {
      out += std::u16string(1, char16_t(text.size() & 0xFFFF)) + char16_t(text.size() >> 16);
      out += text;
    }
  }
  return out;
}

// A path that opens with no prefix (no drive, no two separators) splits into a root when it
// starts with a separator, then the texts between separators, less empty ones and single dots
// (a first one kept in a path without root); two dots are a component of their own.
void check_unprefixed(std::u16string_view path, const Components& parts) {
  if (path.size() >= 2 && ((is_separator(path[0]) && is_separator(path[1])) || path[1] == u':')) return;
  std::vector<std::pair<Kind, std::u16string_view>> expected;
  const bool rooted = !path.empty() && is_separator(path[0]);
  if (rooted) expected.emplace_back(Kind::Root, std::u16string_view());
  bool first = true;
  for (std::size_t start = rooted ? 1 : 0; start <= path.size();) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::u16string_view name = path.substr(start, end - start);
    if (name == u"..") {
      expected.emplace_back(Kind::ParentDir, name);
    } else if (name == u".") {
      if (first && !rooted) expected.emplace_back(Kind::CurrentDir, name);
    } else if (!name.empty()) {
      expected.emplace_back(Kind::Name, name);
    }
    first = false;
    start = end + 1;
  }
  FUZZ_CHECK(parts.size() == expected.size());
  for (std::size_t k = 0; k < parts.size(); ++k) {
    FUZZ_CHECK(parts[k].kind == expected[k].first);
    if (parts[k].kind == Kind::Name) FUZZ_CHECK(parts[k].first == expected[k].second);
  }
}

void check_relations(std::u16string_view a, std::u16string_view b, std::u16string_view c) {
  // Equality is that of the components' kinds and texts (drive letters without case).
  FUZZ_CHECK(paths_equal(a, b) == (canonical(a) == canonical(b)));
  // Equality is reflexive and symmetric, and is being inside one another.
  FUZZ_CHECK(paths_equal(a, a));
  FUZZ_CHECK(is_inside_install_folder(a, a));
  FUZZ_CHECK(paths_equal(a, b) == paths_equal(b, a));
  FUZZ_CHECK(paths_equal(a, b) == (is_inside_install_folder(a, b) && is_inside_install_folder(b, a)));
  // Both relations are transitive.
  if (paths_equal(a, b) && paths_equal(b, c)) FUZZ_CHECK(paths_equal(a, c));
  if (is_inside_install_folder(a, b) && is_inside_install_folder(b, c)) {
    FUZZ_CHECK(is_inside_install_folder(a, c));
  }
  // Equal paths are inside the same folders.
  if (paths_equal(a, b)) FUZZ_CHECK(is_inside_install_folder(a, c) == is_inside_install_folder(b, c));
}

void check_spellings(std::u16string_view path) {
  // Outside verbatim paths, / and \ are the same separator.
  std::u16string backslashed(path);
  std::replace(backslashed.begin(), backslashed.end(), u'/', u'\\');
  if (!backslashed.starts_with(u"\\\\?\\")) FUZZ_CHECK(paths_equal(path, backslashed));

  // A drive letter's case does not matter.
  const Components parts = path_components(path);
  if (!parts.empty() && (parts[0].kind == Kind::DrivePrefix || parts[0].kind == Kind::VerbatimDrivePrefix)) {
    std::u16string other(path);
    const std::size_t at = parts[0].first.data() - path.data();
    other[at] = char16_t(other[at] ^ 0x20);
    FUZZ_CHECK(paths_equal(path, other));
  }

  // A separator after the last name changes nothing, unless it completes a prefix opening
  // (\\?\, \\.\) in a path of three units.
  if (!parts.empty() && !is_prefix(parts.back().kind) && parts.back().kind != Kind::Root &&
      (path.size() >= 4 || !(is_separator(path[0]) && is_separator(path[1])))) {
    FUZZ_CHECK(paths_equal(path, std::u16string(path) + u'\\'));
  }
}

// A name as the system joins them: not empty, no separator, no drive, not a dot name.
bool is_plain_name(std::u16string_view name) {
  return !name.empty() && name.find_first_of(u"\\/") == std::u16string_view::npos &&
         !(name.size() >= 2 && is_ascii_letter(name[0]) && name[1] == u':') && name != u"." &&
         name != u"..";
}

// A base that a separator and a name extend rather than re-read. Two separators at the start
// open a prefix, so a base beginning with them must hold a whole one (\\server\share, \\.\name,
// a verbatim form); and \\?\UNC followed by a separator reads as a verbatim UNC share.
bool is_extendable_base(std::u16string_view base) {
  if (base.empty()) return false;
  const Components parts = path_components(base);
  const Kind first = parts.empty() ? Kind::Name : parts[0].kind;
  if (base.starts_with(u"\\\\?\\")) return !(first == Kind::VerbatimPrefix && parts[0].first == u"UNC");
  if (base.size() >= 2 && is_separator(base[0]) && is_separator(base[1])) {
    return first == Kind::UncPrefix || (first == Kind::DevicePrefix && !parts[0].first.empty());
  }
  return true;
}

void check_join(const std::u16string& base, const std::u16string& name) {
  const PlatformPath joined = join_path(base, name);
  const bool rebuilt = base.starts_with(u"\\\\?\\") && !name.empty();
  if (!rebuilt) {
    // The base, at most one backslash, then the name, all unchanged.
    FUZZ_CHECK(joined.starts_with(base) && joined.ends_with(name));
    FUZZ_CHECK(joined.size() == base.size() + name.size() ||
               (joined.size() == base.size() + name.size() + 1 && joined[base.size()] == u'\\'));
  }
  if (!is_plain_name(name) || !is_extendable_base(base)) return;

  // The joined path lies inside the base: its components are the base's, perhaps a root, then
  // the name.
  FUZZ_CHECK(is_inside_install_folder(joined, base));
  FUZZ_CHECK(!paths_equal(joined, base));
  const Components b = path_components(base);
  const Components j = path_components(joined);
  FUZZ_CHECK(j.size() == b.size() + 1 || (j.size() == b.size() + 2 && j[b.size()].kind == Kind::Root));
  FUZZ_CHECK(j.back().kind == Kind::Name && j.back().first == name);
  // Joining is as good as writing the separator by hand.
  if (!rebuilt) FUZZ_CHECK(paths_equal(joined, base + u'\\' + name) || base.back() == u':');
}

}  // namespace
}  // namespace orvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  using namespace orvane::fuzz;
  std::vector<std::u16string> paths = split_at_zero(units_of(data, size));
  paths.resize(std::max<std::size_t>(paths.size(), 3));
  const std::u16string& a = paths[0];
  const std::u16string& b = paths[1];
  const std::u16string& c = paths[2];

  for (const std::u16string* p : {&a, &b, &c}) {
    check_shape(*p, path_components(*p));
    check_unprefixed(*p, path_components(*p));
    check_spellings(*p);
  }
  check_relations(a, b, c);
  check_relations(b, c, a);
  check_join(a, b);
  check_join(a, c);
  return 0;
}
