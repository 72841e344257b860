#include "remove/folder_removal.h"

#include <array>
#include <vector>

#include "paths/paths.h"
#include "platform/win32_codes.h"

namespace orvane {

std::string folder_removal_argument(const std::string& folder_text) {
  return "/D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q \"" + folder_text + "\"";
}

std::u16string folder_removal_command_line(const std::string& folder_text) {
  return u"\"cmd\" " + utf8_to_utf16(folder_removal_argument(folder_text));
}

std::optional<PlatformPath> find_command_interpreter(Platform& platform) {
  std::vector<PlatformPath> folders;
  if (Result<PlatformPath> dir = platform.processes.system_directory(); dir.ok()) {
    folders.push_back(dir.value());
  }
  if (Result<PlatformPath> dir = platform.processes.windows_directory(); dir.ok()) {
    folders.push_back(dir.value());
  }
  if (std::optional<std::u16string> path = platform.process.environment_variable(u"PATH")) {
    for (PlatformPath& folder : path_variable_folders(*path)) folders.push_back(std::move(folder));
  }
  for (const PlatformPath& folder : folders) {
    PlatformPath candidate = join_path(folder, std::u16string_view(u"cmd.exe"));
    if (platform.processes.file_attributes(candidate) != win32::invalid_file_attributes) {
      return candidate;
    }
  }
  return std::nullopt;
}

void schedule_folder_removal(Platform& platform, const std::string& folder_text) {
  // A double quote would end the quoted target early and let the rest run as commands; cmd
  // expands %NAME% even between quotes, which would make rmdir delete some other folder.
  if (folder_text.find_first_of("\"%") != std::string::npos) return;
  const std::optional<PlatformPath> interpreter = find_command_interpreter(platform);
  if (!interpreter) return;

  Processes& processes = platform.processes;
  ProcessStart start;
  start.application_name = *interpreter;
  start.command_line = folder_removal_command_line(folder_text);
  start.inherit_handles = true;
  start.creation_flags = win32::create_no_window | win32::create_unicode_environment;
  start.startup.cb = win32::startupinfo_size;

  // A process whose current directory lies inside the folder keeps the folder alive, and a
  // double-clicked uninstall.exe starts in it. An absolute target does not need ours.
  if (is_absolute(utf8_to_utf16(folder_text))) {
    if (Result<PlatformPath> dir = processes.system_directory(); dir.ok()) {
      start.current_directory = dir.value();
    }
  }

  // A stream whose handle cannot be duplicated (a launcher may pass values this process never
  // inherited) is left out alone; the command needs none of them to remove the folder.
  std::array<Handle*, 3> slots{&start.startup.std_input, &start.startup.std_output,
                               &start.startup.std_error};
  const std::array<StdStream, 3> streams{StdStream::Input, StdStream::Output, StdStream::Error};
  std::vector<Handle> duplicates;
  for (std::size_t k = 0; k < streams.size(); ++k) {
    const Handle own = processes.std_handle(streams[k]);
    if (!is_valid_handle(own)) continue;
    Result<Handle> copy = processes.duplicate_inheritable(own);
    if (!copy.ok()) continue;
    *slots[k] = copy.value();
    duplicates.push_back(copy.value());
  }
  if (!duplicates.empty()) start.startup.flags = win32::startf_usestdhandles;

  const Result<StartedProcess> started = processes.create_process(start);
  for (Handle h : duplicates) processes.close_handle(h);
  if (started.ok()) {
    processes.close_handle(started.value().process);
    processes.close_handle(started.value().thread);
  }
}

}  // namespace orvane
