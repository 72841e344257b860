// Small questions a test asks inside the Wine prefix, answered on standard output.
//
//   probe.exe message <code>               FormatMessageW's system text for the code, trailing
//                                           white space removed, as a JSON string
//   probe.exe env <NAME>                   {"set":true,"value":...} or {"set":false}
//   probe.exe processes                    one JSON object per running process: pid, name, path
//   probe.exe watch <stop-file> <out-file> appends every process that appears to out-file (as
//                                           above) until stop-file exists (at most 10 minutes)
//   probe.exe wait-present <name> <ms>     exit 0 once a process with that file name runs
//   probe.exe wait-gone <name> <ms>        exit 0 once no process with that file name runs
//   probe.exe spawn <app> <line-file>...   starts <app> once per file, each with the command line
//                                           the file holds (raw UTF-16LE units, no terminator;
//                                           lone surrogates and any length CreateProcessW takes),
//                                           all created suspended and then let go together; waits
//                                           for all and prints one JSON object per child:
//                                           {"created":true,"status":n} or
//                                           {"created":false,"error":n}; exit 0 when all started
//   probe.exe suspend <name> <ms>          waits up to <ms> for a process with that file name,
//                                           then suspends every thread of every such process;
//                                           prints {"processes":n,"threads":m}, exit 0 when n > 0
//   probe.exe resume <name>                resumes them again (same output)
// Exit status 1 when a wait runs out, 64 on bad usage.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "json_text.h"

namespace {

struct ProcessInfo {
  DWORD pid;
  std::wstring name;
  std::wstring path;
};

std::vector<ProcessInfo> processes() {
  std::vector<ProcessInfo> list;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return list;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    std::wstring path;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process != nullptr) {
      wchar_t buffer[4096];
      DWORD size = 4096;
      if (QueryFullProcessImageNameW(process, 0, buffer, &size)) path.assign(buffer, size);
      CloseHandle(process);
    }
    list.push_back({entry.th32ProcessID, entry.szExeFile, path});
  }
  CloseHandle(snapshot);
  return list;
}

std::string describe(const ProcessInfo& p) {
  return "{\"pid\":" + std::to_string(p.pid) + ",\"name\":" + json_string(p.name) +
         ",\"path\":" + json_string(p.path) + "}\n";
}

bool running(const std::wstring& name) {
  for (const ProcessInfo& p : processes()) {
    if (_wcsicmp(p.name.c_str(), name.c_str()) == 0) return true;
  }
  return false;
}

int wait_for(const std::wstring& name, bool present, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (running(name) != present) {
    if (GetTickCount() - start > timeout_ms) return 1;
    Sleep(20);
  }
  return 0;
}

void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

bool read_units(const wchar_t* path, std::vector<wchar_t>* units) {
  FILE* in = _wfopen(path, L"rb");
  if (in == nullptr) return false;
  std::vector<unsigned char> bytes;
  unsigned char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(in);
  if (bytes.size() % 2 != 0) return false;
  units->resize(bytes.size() / 2);
  for (size_t k = 0; k < units->size(); ++k) {
    (*units)[k] = static_cast<wchar_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
  }
  units->push_back(L'\0');  // CreateProcessW takes a writable, terminated buffer
  return true;
}

int spawn(const wchar_t* application, int count, wchar_t** line_files) {
  struct Child {
    PROCESS_INFORMATION info{};
    DWORD error = 0;
  };
  std::vector<std::vector<wchar_t>> lines(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    if (!read_units(line_files[k], &lines[k])) return 64;
  }
  std::vector<Child> children(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(application, lines[k].data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &children[k].info)) {
      children[k].error = GetLastError();
    }
  }
  for (Child& child : children) {
    if (child.error == 0) ResumeThread(child.info.hThread);
  }
  bool all = true;
  for (Child& child : children) {
    if (child.error != 0) {
      all = false;
      print("{\"created\":false,\"error\":" + std::to_string(child.error) + "}\n");
      continue;
    }
    WaitForSingleObject(child.info.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(child.info.hProcess, &status);
    CloseHandle(child.info.hThread);
    CloseHandle(child.info.hProcess);
    print("{\"created\":true,\"status\":" + std::to_string(status) + "}\n");
  }
  return all ? 0 : 1;
}

// Suspends (or resumes) every thread of every process with that file name.
int hold(const std::wstring& name, bool suspend) {
  std::set<DWORD> pids;
  for (const ProcessInfo& p : processes()) {
    if (_wcsicmp(p.name.c_str(), name.c_str()) == 0) pids.insert(p.pid);
  }
  int threads = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (pids.count(entry.th32OwnerProcessID) == 0) continue;
      HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
      if (thread == nullptr) continue;
      DWORD previous = suspend ? SuspendThread(thread) : ResumeThread(thread);
      if (previous != static_cast<DWORD>(-1)) ++threads;
      CloseHandle(thread);
    }
    CloseHandle(snapshot);
  }
  print("{\"processes\":" + std::to_string(pids.size()) + ",\"threads\":" +
        std::to_string(threads) + "}\n");
  return pids.empty() ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"message" && argc == 3) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(_wtoi(argv[2])), 0, reinterpret_cast<wchar_t*>(&text), 0,
        nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    print(json_string(message) + "\n");
    return length != 0 ? 0 : 1;
  }
  if (command == L"env" && argc == 3) {
    SetLastError(0);
    DWORD size = GetEnvironmentVariableW(argv[2], nullptr, 0);
    if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      print("{\"set\":false}\n");
      return 0;
    }
    std::wstring value(size + 1, L'\0');
    DWORD got = GetEnvironmentVariableW(argv[2], value.data(), size + 1);
    value.resize(got);
    print("{\"set\":true,\"value\":" + json_string(value) + "}\n");
    return 0;
  }
  if (command == L"processes") {
    for (const ProcessInfo& p : processes()) print(describe(p));
    return 0;
  }
  if (command == L"watch" && argc == 4) {
    FILE* out = _wfopen(argv[3], L"wb");
    if (out == nullptr) return 64;
    std::set<std::wstring> seen;
    DWORD start = GetTickCount();
    while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - start < 600000) {
      for (const ProcessInfo& p : processes()) {
        if (seen.insert(std::to_wstring(p.pid) + L"|" + p.name + L"|" + p.path).second) {
          std::string line = describe(p);
          std::fwrite(line.data(), 1, line.size(), out);
          std::fflush(out);
        }
      }
      Sleep(10);
    }
    std::fclose(out);
    return 0;
  }
  if ((command == L"wait-present" || command == L"wait-gone") && argc == 4) {
    return wait_for(argv[2], command == L"wait-present", static_cast<DWORD>(_wtoi(argv[3])));
  }
  if (command == L"spawn" && argc >= 4) return spawn(argv[2], argc - 3, argv + 3);
  if (command == L"suspend" && argc == 4) {
    (void)wait_for(argv[2], true, static_cast<DWORD>(_wtoi(argv[3])));  // hold() tells if none
    return hold(argv[2], true);
  }
  if (command == L"resume" && argc == 3) return hold(argv[2], false);
  std::fprintf(stderr, "usage: probe message CODE | env NAME | processes | watch STOP OUT | wait-present NAME MS | wait-gone NAME MS | spawn APP LINE-FILE... | suspend NAME MS | resume NAME\n");
  return 64;
}
