// split_command_line and read_options on any command line (the input's UTF-16 units, 0 units
// and unpaired surrogates included).

#include <array>

#include "entry/command_line.h"
#include "fuzz_support.h"

namespace orvane::fuzz {
namespace {

constexpr char16_t executable[] = u"C:\\Users\\Owner\\Downloads\\setup.exe";

class FixedProcess : public Process {
 public:
  std::optional<std::u16string> command_line() override { return std::nullopt; }
  Result<PlatformPath> running_executable_path() override { return PlatformPath(executable); }
  std::optional<std::u16string> environment_variable(std::u16string_view) override { return std::nullopt; }
  std::optional<PlatformPath> known_local_app_data() override { return std::nullopt; }
  void exit_process(std::uint32_t) override {}
};

using Args = std::vector<std::string>;

Args split(const std::optional<std::u16string>& line) {
  FixedProcess process;
  return split_command_line(line, process);
}

bool is_blank(char16_t u) { return u == u' ' || u == u'\t'; }

// The argument between double quotes, with backslashes doubled where a double quote follows
// them (the closing one included) and each double quote in it written as `quote`.
std::string quoted(std::string_view argument, std::string_view quote) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(2 * backslashes, '\\').append(quote);
    } else {
      out.append(backslashes, '\\').push_back(c);
    }
    backslashes = 0;
  }
  out.append(2 * backslashes, '\\').push_back('"');
  return out;
}

enum class Quoting { Always, AlwaysDoubledQuotes, OnlyWhenNeeded };

// A command line that splits back into `args`: the program name between double quotes (it
// never holds one: they are dropped), then each argument.
std::u16string joined(const Args& args, Quoting quoting) {
  std::string line = "\"" + args[0] + "\"";
  for (std::size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    line.push_back(k % 2 == 0 ? ' ' : '\t');
    const bool plain = !a.empty() && a.find_first_of(" \t\"") == std::string::npos;
    if (quoting == Quoting::OnlyWhenNeeded && plain) {
      line.append(a);  // backslashes not followed by a double quote are plain characters
    } else {
      line.append(quoted(a, quoting == Quoting::AlwaysDoubledQuotes ? "\"\"" : "\\\""));
    }
  }
  return utf8_to_utf16(line);
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    if (fold(a[k]) != fold(b[k])) return false;
  }
  return true;
}

void check_options(const Args& args) {
  static constexpr std::array<std::string_view, 4> silent{"--silent", "/s", "/silent", "/quiet"};
  static constexpr std::array<std::string_view, 2> uninstall{"--uninstall", "/uninstall"};
  bool expect_silent = false;
  bool expect_uninstall = false;
  for (std::size_t k = 1; k < args.size(); ++k) {
    for (std::string_view s : silent) expect_silent |= equals_ignoring_ascii_case(args[k], s);
    for (std::string_view s : uninstall) expect_uninstall |= equals_ignoring_ascii_case(args[k], s);
  }
  const SetupOptions options = read_options(args);
  FUZZ_CHECK(options.silent == expect_silent);
  FUZZ_CHECK(options.uninstall == expect_uninstall);

  // The program name is never a switch, whatever it holds.
  const SetupOptions name_only = read_options(Args{args.back()});
  FUZZ_CHECK(!name_only.silent && !name_only.uninstall);
}

}  // namespace
}  // namespace orvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  using namespace orvane::fuzz;
  const std::u16string line = units_of(data, size);
  const Args args = split(line);

  // The program name is always there; every element is well-formed text without a 0.
  FUZZ_CHECK(!args.empty());
  for (const std::string& a : args) {
    FUZZ_CHECK(a.find('\0') == std::string::npos);
    FUZZ_CHECK(is_well_formed_utf8(a));
  }

  // Reading stops at the first 0 unit; an empty line is the executable's path alone.
  const std::u16string text = line.substr(0, line.find(u'\0'));
  FUZZ_CHECK(split(text) == args);
  if (text.empty()) {
    FUZZ_CHECK(args == Args{from_wide_lossy(executable)});
    FUZZ_CHECK(split(std::nullopt) == args);
  }

  // Without double quotes, the elements are the runs of non-blank units, backslashes and all.
  if (!text.empty() && text.find(u'"') == std::u16string::npos) {
    Args expected;
    std::size_t i = 0;
    while (i < text.size() && !is_blank(text[i])) ++i;
    expected.push_back(from_wide_lossy(text.substr(0, i)));
    while (i < text.size()) {
      while (i < text.size() && is_blank(text[i])) ++i;
      const std::size_t start = i;
      while (i < text.size() && !is_blank(text[i])) ++i;
      if (i > start) expected.push_back(from_wide_lossy(text.substr(start, i - start)));
    }
    FUZZ_CHECK(args == expected);
  }

  // The arguments, quoted the documented ways, split back into themselves.
  FUZZ_CHECK(split(joined(args, Quoting::Always)) == args);
  FUZZ_CHECK(split(joined(args, Quoting::AlwaysDoubledQuotes)) == args);
  FUZZ_CHECK(split(joined(args, Quoting::OnlyWhenNeeded)) == args);

  check_options(args);
  return 0;
}
