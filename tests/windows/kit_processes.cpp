#include "kit_processes.h"

#include <tlhelp32.h>
#include <userenv.h>

#include <algorithm>
#include <string_view>

namespace kit {
namespace {

bool has_name(const wchar_t* entry, const std::wstring& name) {
  return _wcsnicmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == L'=';
}

std::wstring image_of(HANDLE process) {
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return L"";
  path.resize(size);
  return path;
}

HANDLE inheritable_file(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The name part of an entry: up to the first "=" after its first unit (the current folder of a
// drive is kept under names such as "=C:").
std::wstring_view name_of(const std::wstring& entry) {
  const size_t equals = entry.find(L'=', 1);
  return std::wstring_view(entry).substr(0, equals == std::wstring::npos ? entry.size() : equals);
}

// Windows keeps an environment block sorted by name, case ignored, in Unicode order whatever the
// locale, and a block handed to CreateProcessW must be sorted so too ("Changing Environment
// Variables"): CreateProcessW passes it on as it is. CompareStringOrdinal ignoring case is that
// order. Entries with equal names keep their order.
void sort_by_name(EnvironmentBlock& block) {
  std::vector<std::wstring> entries;
  for (const wchar_t* entry = block.data(); *entry != L'\0'; entry += wcslen(entry) + 1) {
    entries.emplace_back(entry);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    const std::wstring_view x = name_of(a);
    const std::wstring_view y = name_of(b);
    return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  EnvironmentBlock sorted;
  for (const std::wstring& entry : entries) {
    sorted.insert(sorted.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  }
  sorted.push_back(L'\0');
  block = std::move(sorted);
}

}  // namespace

EnvironmentBlock environment_with(const std::optional<std::wstring>& local_app_data) {
  EnvironmentBlock block;
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; *entry != L'\0'; entry += wcslen(entry) + 1) {
    if (has_name(entry, L"LOCALAPPDATA")) continue;
    block.insert(block.end(), entry, entry + wcslen(entry) + 1);
  }
  FreeEnvironmentStringsW(own);
  if (local_app_data) {
    const std::wstring entry = L"LOCALAPPDATA=" + *local_app_data;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  sort_by_name(block);
  return block;
}

std::optional<EnvironmentBlock> registry_environment() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
    return std::nullopt;
  }
  void* block = nullptr;
  const BOOL ok = CreateEnvironmentBlock(&block, token, FALSE);
  CloseHandle(token);
  if (!ok) return std::nullopt;
  EnvironmentBlock copy;
  for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry != L'\0';
       entry += wcslen(entry) + 1) {
    copy.insert(copy.end(), entry, entry + wcslen(entry) + 1);
  }
  copy.push_back(L'\0');
  DestroyEnvironmentBlock(block);
  return copy;
}

std::optional<std::wstring> variable_in(const EnvironmentBlock& block, const std::wstring& name) {
  for (const wchar_t* entry = block.data(); *entry != L'\0'; entry += wcslen(entry) + 1) {
    if (has_name(entry, name)) return std::wstring(entry + name.size() + 1);
  }
  return std::nullopt;
}

void set_variable(EnvironmentBlock& block, const std::wstring& name, const std::wstring& value) {
  EnvironmentBlock out;
  for (const wchar_t* entry = block.data(); *entry != L'\0'; entry += wcslen(entry) + 1) {
    if (!has_name(entry, name)) out.insert(out.end(), entry, entry + wcslen(entry) + 1);
  }
  const std::wstring entry = name + L"=" + value;
  out.insert(out.end(), entry.begin(), entry.end());
  out.push_back(L'\0');
  out.push_back(L'\0');
  sort_by_name(out);
  block = std::move(out);
}

std::wstring file_name_of(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

Job::Job() {
  job_ = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
  association.CompletionKey = job_;
  association.CompletionPort = port_;
  SetInformationJobObject(job_, JobObjectAssociateCompletionPortInformation, &association,
                          sizeof association);
}

Job::~Job() {
  terminate();
  for (const Started& s : started_) {
    CloseHandle(s.thread);
    CloseHandle(s.process);
  }
  for (HANDLE h : seen_handles_) {
    if (h != nullptr) CloseHandle(h);
  }
  CloseHandle(job_);
  CloseHandle(port_);
}

std::optional<size_t> Job::create(const Start& start, DWORD* error) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::vector<HANDLE> handles;
  if (!start.output_file.empty()) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable_file(L"NUL", false);
    startup.hStdOutput = inheritable_file(start.output_file, true);
    startup.hStdError = inheritable_file(start.error_file, true);
    handles = {startup.hStdInput, startup.hStdOutput, startup.hStdError};
  }
  std::vector<wchar_t> line(start.command_line.begin(), start.command_line.end());
  line.push_back(L'\0');  // CreateProcessW takes a writable, terminated buffer
  PROCESS_INFORMATION info{};
  const BOOL created = CreateProcessW(
      start.application.empty() ? nullptr : start.application.c_str(), line.data(), nullptr,
      nullptr, !handles.empty(), CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | start.flags,
      start.environment != nullptr ? const_cast<wchar_t*>(start.environment->data()) : nullptr,
      start.directory.empty() ? nullptr : start.directory.c_str(), &startup, &info);
  *error = created ? 0 : GetLastError();
  for (HANDLE h : handles) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  if (!created) return std::nullopt;
  if (!AssignProcessToJobObject(job_, info.hProcess)) {
    *error = GetLastError();
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return std::nullopt;
  }
  started_.push_back({info.hProcess, info.hThread, info.dwProcessId});
  return started_.size() - 1;
}

void Job::resume() {
  for (const Started& s : started_) ResumeThread(s.thread);
}

std::optional<size_t> Job::start(const Start& start, DWORD* error) {
  const std::optional<size_t> index = create(start, error);
  if (index) ResumeThread(started_[*index].thread);
  return index;
}

bool Job::wait(size_t index, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    poll();
    if (WaitForSingleObject(started_[index].process, 10) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start > timeout_ms) return false;
  }
}

bool Job::ended(size_t index) const {
  return WaitForSingleObject(started_[index].process, 0) == WAIT_OBJECT_0;
}

DWORD Job::exit_status(size_t index) const {
  DWORD status = STILL_ACTIVE;
  GetExitCodeProcess(started_[index].process, &status);
  return status;
}

void Job::poll() {
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED data = nullptr;
  while (GetQueuedCompletionStatus(port_, &message, &key, &data, 0)) {
    if (message != JOB_OBJECT_MSG_NEW_PROCESS) continue;
    const auto pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data));
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
    seen_.push_back({pid, process != nullptr ? image_of(process) : L""});
    seen_handles_.push_back(process);
  }
  // A process that has only just started may not tell its image yet (Wine): ask again, and
  // failing that take the file name the process list knows.
  bool unnamed = false;
  for (size_t k = 0; k < seen_.size(); ++k) {
    if (!seen_[k].image.empty()) continue;
    if (seen_handles_[k] != nullptr) seen_[k].image = image_of(seen_handles_[k]);
    unnamed = unnamed || seen_[k].image.empty();
  }
  if (!unnamed) return;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    for (SeenProcess& p : seen_) {
      if (p.pid == entry.th32ProcessID && p.image.empty()) p.image = entry.szExeFile;
    }
  }
  CloseHandle(snapshot);
}

const std::vector<SeenProcess>& Job::seen() {
  poll();
  return seen_;
}

std::vector<DWORD> Job::running() {
  poll();
  std::vector<unsigned char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) +
                                    1024 * sizeof(ULONG_PTR));
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  std::vector<DWORD> pids;
  if (QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list,
                                static_cast<DWORD>(buffer.size()), nullptr)) {
    for (DWORD k = 0; k < list->NumberOfProcessIdsInList; ++k) {
      pids.push_back(static_cast<DWORD>(list->ProcessIdList[k]));
    }
  }
  return pids;
}

bool Job::wait_empty(DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    poll();
    if (QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting,
                                  sizeof accounting, nullptr) &&
        accounting.ActiveProcesses == 0) {
      return true;
    }
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
}

int Job::running_named(const std::wstring& file_name) {
  int count = 0;
  for (DWORD pid : running()) {
    for (const SeenProcess& p : seen_) {
      if (p.pid == pid && _wcsicmp(file_name_of(p.image).c_str(), file_name.c_str()) == 0) {
        ++count;
        break;
      }
    }
  }
  return count;
}

bool Job::wait_none_named(const std::wstring& file_name, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (running_named(file_name) > 0) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

int Job::seen_named(const std::wstring& file_name) {
  int count = 0;
  for (const SeenProcess& p : seen()) {
    count += _wcsicmp(file_name_of(p.image).c_str(), file_name.c_str()) == 0;
  }
  return count;
}

std::pair<int, int> Job::hold(const std::wstring& file_name, bool suspend) {
  poll();
  std::vector<DWORD> pids;
  for (DWORD pid : running()) {
    for (const SeenProcess& p : seen_) {
      if (p.pid == pid && _wcsicmp(file_name_of(p.image).c_str(), file_name.c_str()) == 0) {
        pids.push_back(pid);
        break;
      }
    }
  }
  int threads = 0;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (std::find(pids.begin(), pids.end(), entry.th32OwnerProcessID) == pids.end()) continue;
      const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
      if (thread == nullptr) continue;
      const DWORD previous = suspend ? SuspendThread(thread) : ResumeThread(thread);
      if (previous != static_cast<DWORD>(-1)) ++threads;
      CloseHandle(thread);
    }
    CloseHandle(snapshot);
  }
  return {static_cast<int>(pids.size()), threads};
}

void Job::terminate() {
  TerminateJobObject(job_, 1);
  wait_empty(10000);
}

}  // namespace kit
