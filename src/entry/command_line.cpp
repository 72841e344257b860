#include "entry/command_line.h"

#include "paths/paths.h"
#include "product/product_identity.h"

namespace orvane {
namespace {

bool is_blank(char16_t u) { return u == u' ' || u == u'\t'; }

// Lower-cases with the Unicode default mapping as far as a switch can be concerned: a text with
// any non-ASCII character can never equal a switch (no non-ASCII character lower-cases into the
// letters the switches use), so such a text is returned as nullopt.
std::optional<std::string> ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) return std::nullopt;
    if (b >= 'A' && b <= 'Z') c = static_cast<char>(b + 0x20);
  }
  return out;
}

}  // namespace

std::vector<std::string> split_command_line(const std::optional<std::u16string>& command_line,
                                            Process& process) {
  std::u16string_view line;
  if (command_line) {
    line = *command_line;
    line = line.substr(0, line.find(u'\0'));  // the terminator ends the text
  }
  if (line.empty()) {
    Result<PlatformPath> exe = process.running_executable_path();
    return {exe.ok() ? from_wide_lossy(exe.value()) : std::string()};
  }

  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t n = line.size();

  // Program name: quotes toggle and are dropped; backslashes are plain characters.
  std::u16string name;
  for (bool quoted = false; i < n; ++i) {
    const char16_t u = line[i];
    if (u == u'"') {
      quoted = !quoted;
    } else if (is_blank(u) && !quoted) {
      break;
    } else {
      name.push_back(u);
    }
  }
  arguments.push_back(from_wide_lossy(name));
  while (i < n && is_blank(line[i])) ++i;

  std::u16string buffer;
  bool quoted = false;
  while (i < n) {
    const char16_t u = line[i];
    if (is_blank(u) && !quoted) {
      arguments.push_back(from_wide_lossy(buffer));
      buffer.clear();
      while (i < n && is_blank(line[i])) ++i;
    } else if (u == u'\\') {
      std::size_t run = 0;
      while (i < n && line[i] == u'\\') ++run, ++i;
      if (i < n && line[i] == u'"') {
        buffer.append(run / 2, u'\\');
        if (run % 2 == 1) {
          buffer.push_back(u'"');
          ++i;
        }
      } else {
        buffer.append(run, u'\\');
      }
    } else if (u == u'"' && !quoted) {
      quoted = true;
      ++i;
    } else if (u == u'"') {
      if (i + 1 < n && line[i + 1] == u'"') {
        buffer.push_back(u'"');
        i += 2;
      } else if (i + 1 == n) {
        ++i;  // reading ends with the quote still open
      } else {
        quoted = false;
        ++i;
      }
    } else {
      buffer.push_back(u);
      ++i;
    }
  }
  if (!buffer.empty() || quoted) arguments.push_back(from_wide_lossy(buffer));
  return arguments;
}

SetupOptions read_options(const std::vector<std::string>& arguments) {
  SetupOptions options;
  for (std::size_t k = 1; k < arguments.size(); ++k) {
    const std::optional<std::string> argument = ascii_lower(arguments[k]);
    if (!argument) continue;
    for (const Switch& s : switches) {
      if (*argument != s.text) continue;
      (s.sets == SwitchEffect::Silent ? options.silent : options.uninstall) = true;
    }
  }
  return options;
}

SetupMode choose_mode(const SetupOptions& options, Process& process,
                      const std::optional<PlatformPath>& install_folder) {
  if (options.uninstall) return SetupMode::Remove;
  if (!install_folder) return SetupMode::Install;
  const Result<PlatformPath> exe = process.running_executable_path();
  if (!exe.ok()) return SetupMode::Install;
  return is_inside_install_folder(exe.value(), *install_folder) ? SetupMode::Remove
                                                                : SetupMode::Install;
}

}  // namespace orvane
