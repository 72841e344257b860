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
  std::fprintf(stderr, "usage: probe message CODE | env NAME | processes | watch STOP OUT | wait-present NAME MS | wait-gone NAME MS\n");
  return 64;
}
