// What the setup program takes from the folder it is run from, and from the user's settings of
// the command interpreter: nothing; and what it leaves of the download's mark on the files it
// installs: nothing. The cases hold Windows' behaviour; what Wine does instead is said in their
// skips.

#include <windows.h>

#include <tlhelp32.h>

#include "setup_case.h"

namespace kit {
namespace {

using Security = SetupCase;

// System DLLs that are not KnownDLLs, which Windows would look for in a program's own folder
// first unless told otherwise, and imm32 (a KnownDLL, which Wine takes from there).
const wchar_t* const planted_names[] = {L"uxtheme.dll", L"version.dll", L"dwmapi.dll",
                                        L"TextShaping.dll", L"imm32.dll"};

// What a look at the setup program's modules found: the modules loaded from below the folder, and
// whether every process could be looked at (and the setup program's own image was among them).
struct ModulesSeen {
  bool looked = false;
  std::string problem;  // why not
  std::vector<std::string> from_folder;
};

// The modules of these processes that were loaded from below `folder`. A module snapshot may fail
// with ERROR_BAD_LENGTH while the process is loading or unloading modules; Microsoft's
// documentation says to take it again until it succeeds (bounded here by a number of tries).
ModulesSeen modules_from(const std::vector<DWORD>& pids, const std::wstring& folder) {
  ModulesSeen seen;
  bool setup_seen = false;
  const std::wstring prefix = folder + L"\\";
  const std::wstring setup = prefix + L"orvane-worker-setup.exe";
  for (DWORD pid : pids) {
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_BAD_LENGTH;
    for (int attempt = 0; attempt < 1000 && error == ERROR_BAD_LENGTH; ++attempt) {
      snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
      error = snapshot == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    if (snapshot == INVALID_HANDLE_VALUE) {
      seen.problem += "no module snapshot of process " + std::to_string(pid) + " (error " +
                      std::to_string(error) + "); ";
      continue;
    }
    MODULEENTRY32W module{};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
      const std::wstring path = module.szExePath;
      if (_wcsicmp(path.c_str(), setup.c_str()) == 0) {
        setup_seen = true;
      } else if (path.size() > prefix.size() &&
                 _wcsnicmp(path.c_str(), prefix.c_str(), prefix.size()) == 0) {
        seen.from_folder.push_back(utf8(path.substr(prefix.size())));
      }
    }
    CloseHandle(snapshot);
  }
  if (pids.empty()) seen.problem += "no process ran in the setup program's job; ";
  if (!setup_seen) seen.problem += "the setup program's own image was not among the modules";
  seen.looked = seen.problem.empty();
  return seen;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text.empty() ? "none" : text;
}

// The mark a browser leaves on a download from the Internet zone.
const char zone_identifier_text[] = "[ZoneTransfer]\r\nZoneId=3\r\n";

// Writes `bytes` into the named stream `stream` of the file at `path` ("path:stream"). The error,
// or ERROR_SUCCESS.
DWORD write_stream(const std::wstring& path, const std::wstring& stream, const std::string& bytes) {
  const HANDLE file = CreateFileW(verbatim(path + L":" + stream).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  const DWORD error = ok && written == bytes.size() ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  return error;
}

// The named streams of a file as FindFirstStreamW lists them (":Zone.Identifier:$DATA"), the
// unnamed data stream left out; the error when they cannot be listed.
struct Streams {
  DWORD error = ERROR_SUCCESS;
  std::vector<std::string> names;
};
Streams named_streams(const std::wstring& path) {
  Streams streams;
  WIN32_FIND_STREAM_DATA data;
  const HANDLE find = FindFirstStreamW(verbatim(path).c_str(), FindStreamInfoStandard, &data, 0);
  if (find == INVALID_HANDLE_VALUE) {
    // ERROR_HANDLE_EOF: no stream at all, which a file on a volume with streams never has.
    streams.error = GetLastError();
    return streams;
  }
  do {
    if (_wcsicmp(data.cStreamName, L"::$DATA") != 0) streams.names.push_back(utf8(data.cStreamName));
  } while (FindNextStreamW(find, &data));
  FindClose(find);
  return streams;
}

// What opening "path:Zone.Identifier" for reading gives: ERROR_SUCCESS when there is such a stream.
DWORD open_zone_identifier(const std::wstring& path) {
  const HANDLE file =
      CreateFileW(verbatim(path + L":Zone.Identifier").c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return ERROR_SUCCESS;
}

// Whether the file system below `folder` keeps named streams, tried on a scratch file: a stream
// written as "file:Zone.Identifier" must be listed among the file's streams, not show up as a file
// of its own. What was seen, for a skip.
struct StreamSupport {
  bool streams = false;
  std::string seen;
};
StreamSupport stream_support(const std::wstring& folder) {
  StreamSupport support;
  const std::wstring probe = folder + L"\\stream-probe.txt";
  if (!write_file(probe, bytes_of_text("data"))) {
    support.seen = "the scratch file could not be written";
    return support;
  }
  const DWORD written = write_stream(probe, L"Zone.Identifier", zone_identifier_text);
  const Streams streams = named_streams(probe);
  const std::vector<std::wstring> files = names_of(list_tree(folder));
  std::vector<std::string> file_names;
  for (const std::wstring& name : files) file_names.push_back(utf8(name));
  support.streams = written == ERROR_SUCCESS && streams.error == ERROR_SUCCESS &&
                    streams.names == std::vector<std::string>{":Zone.Identifier:$DATA"} &&
                    files == std::vector<std::wstring>{L"stream-probe.txt"};
  support.seen = "writing stream-probe.txt:Zone.Identifier gave error " + std::to_string(written) +
                 "; FindFirstStreamW listed " +
                 (streams.error == ERROR_SUCCESS ? joined(streams.names) + " as named streams"
                                                 : "nothing (error " + std::to_string(streams.error) + ")") +
                 "; the folder then held the files " + joined(file_names);
  remove_tree(folder);
  return support;
}

// What an attacker plants is a DLL that loads and works. On Windows the case plants copies of
// the system's own DLLs, which do, and looks for them among the setup program's modules while
// its question box (which loads the theme DLLs) is up. Under Wine the system folder holds
// stand-ins for Wine's builtins, which it never takes from elsewhere: there the case plants a DLL
// that leaves a marker when it is loaded, and tells Wine to prefer native DLLs for the program.
TEST_F(Security, DllsPlantedBesideTheSetupProgramAreNeverLoaded) {
  const bool wine = runs_on_wine();
  const std::optional<Bytes> marker_dll = read_file(kit_helper(L"planted.dll"));
  ASSERT_TRUE(marker_dll.has_value()) << "the kit holds helpers\\planted.dll";
  std::vector<std::string> planted;
  for (const wchar_t* name : planted_names) {
    const std::optional<Bytes> system_copy =
        wine ? std::nullopt : read_file(system_folder() + L"\\" + name);
    ASSERT_TRUE(write_file(downloads() + L"\\" + name, system_copy ? *system_copy : *marker_dll))
        << utf8(name);
    planted.push_back(utf8(name) + (system_copy ? " (the system's)" : " (marker)"));
  }
  RecordProperty("planted_dlls", joined(planted));
  if (wine) {
    for (const wchar_t* name : {L"uxtheme", L"version", L"dwmapi", L"textshaping", L"imm32"}) {
      ASSERT_EQ(set_value(std::wstring(wine_setup_settings_key) + L"\\DllOverrides", name,
                          sz(L"native,builtin")),
                ERROR_SUCCESS);
    }
  }
  ModulesSeen mapped{.problem = "the question box never came up"};
  const SetupRun declined =
      run(L"", {.answers = {Answer::No},
                .before_press = [&](size_t, const Box&, Job& job) {
                  mapped = modules_from(job.running(), downloads());
                }});
  EXPECT_EQ(declined.status, 0u) << testing::PrintToString(declined);
  expect_box_count(declined, 1, "the declined install");
  expect_box(declined, 0, BoxKind::Question, install_question(folder()), "the install question");

  std::vector<std::string> marked;
  for (const wchar_t* name : planted_names) {
    if (exists(downloads() + L"\\" + name + L".loaded")) marked.push_back(utf8(name));
  }
  RecordProperty("loaded_from_the_download_folder", joined(mapped.from_folder));
  // A look that could not be taken proves nothing: the case fails rather than passes.
  EXPECT_TRUE(mapped.looked) << "the setup program's modules could not be read while its box "
                             << "was up: " << mapped.problem;
  RecordProperty("markers_left", joined(marked));
  SKIP_UNDER_WINE("Wine's loader takes the imports of its builtins before the program's first "
                  "instruction and does not hold the DLLs it loads later to the search limit "
                  "(taken here: " + joined(marked) + ")");
  EXPECT_EQ(mapped.from_folder, std::vector<std::string>{})
      << "no module of the setup program comes from its folder while its box is up";
  EXPECT_EQ(marked, std::vector<std::string>{}) << "no planted DLL ran";
}

// A browser marks a download with a Zone.Identifier stream, and CopyFileExW copies named streams:
// an uninstall.exe copied with it would bring up the "Open File - Security Warning" or SmartScreen
// when the product is removed from Settings. Neither installed file carries the mark.
TEST_F(Security, TheInstalledFilesDoNotCarryTheDownloadsMark) {
  const StreamSupport support = stream_support(root() + L"\\probe");
  RecordProperty("streams", support.seen);
  ASSERT_EQ(write_stream(setup_exe(), L"Zone.Identifier", zone_identifier_text),
            static_cast<DWORD>(ERROR_SUCCESS))
      << "the downloaded setup program gets its mark";
  if (support.streams) {
    ASSERT_EQ(named_streams(setup_exe()).names, std::vector<std::string>{":Zone.Identifier:$DATA"});
  }
  const SetupRun install = run(L"/S");
  EXPECT_EQ(install.status, 0u) << testing::PrintToString(install);
  expect_installed_files(folder(), "silent install of a marked download");
  if (!support.streams) {
    GTEST_SKIP() << "Windows only: no named streams where the case runs (" << support.seen
                 << "); Windows keeps them on NTFS, and CopyFileExW copies them";
  }
  for (const wchar_t* name : {uninstaller_name, payload_name}) {
    SCOPED_TRACE(utf8(name));
    const std::wstring installed = folder() + L"\\" + name;
    const Streams streams = named_streams(installed);
    EXPECT_EQ(streams.error, static_cast<DWORD>(ERROR_SUCCESS)) << "its streams can be listed";
    EXPECT_EQ(streams.names, std::vector<std::string>{}) << "no named stream";
    EXPECT_EQ(open_zone_identifier(installed), static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
        << "there is no Zone.Identifier stream to open";
  }
  EXPECT_EQ(open_zone_identifier(setup_exe()), static_cast<DWORD>(ERROR_SUCCESS))
      << "the download keeps its own mark";
}

TEST_F(Security, TheUsersCmdSettingsDoNotReachTheDeferredRemoval) {
  // With delayed expansion on, "!ORVANE_KIT_PLACE!" in the folder text would become "decoy", and
  // rmdir would delete the decoy's folder instead; AutoRun would run before the command.
  const std::wstring marker = root() + L"\\autorun-ran.txt";
  ASSERT_EQ(set_value(command_processor_key, L"DelayedExpansion", dword(1)), ERROR_SUCCESS);
  ASSERT_EQ(set_value(command_processor_key, L"AutoRun", sz(L"echo ran> \"" + marker + L"\"")),
            ERROR_SUCCESS);
  const std::wstring local = root() + L"\\!ORVANE_KIT_PLACE!";
  const std::wstring installed = local + L"\\Programs\\Orvane Worker";
  const std::wstring decoy = root() + L"\\decoy\\Programs\\Orvane Worker";
  ASSERT_TRUE(make_directories(decoy));
  ASSERT_TRUE(write_file(decoy + L"\\keep.txt", Bytes{'k'}));
  const RunOptions options{.local_app_data = LocalAppData::exactly(local),
                           .variables = {{L"ORVANE_KIT_PLACE", L"decoy"}}};

  ASSERT_EQ(run(L"/S", options).status, 0u) << "silent install";
  expect_installed_files(installed, "install below a folder named !ORVANE_KIT_PLACE!");
  const SetupRun removal = run(L"--uninstall --silent", options);
  EXPECT_EQ(removal.status, 0u) << testing::PrintToString(removal);
  expect_removed(installed, *removal.job, "silent removal");
  EXPECT_TRUE(exists(decoy + L"\\keep.txt")) << "the decoy folder is untouched";
  EXPECT_FALSE(exists(marker)) << "the user's AutoRun command did not run";
  SKIP_UNDER_WINE("Wine's cmd ignores DelayedExpansion and AutoRun, so the case passes here "
                  "whatever switches the command is started with");
}

}  // namespace
}  // namespace kit
