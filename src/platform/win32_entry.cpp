// The setup program's entry: the Win32 realisation of every platform interface, handed to the
// logic as one Platform, and the process's end with the status the logic returns.

#include <windows.h>

#include <cstdint>

#include "entry/run_setup.h"
#include "platform/platform.h"
#include "platform/win32_dialogs.h"
#include "platform/win32_files.h"
#include "platform/win32_process.h"
#include "platform/win32_processes.h"
#include "platform/win32_registry.h"
#include "platform/win32_system_messages.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orvane::Win32Process process;
  orvane::Win32Files files;
  orvane::Win32Registry registry;
  orvane::Win32Dialogs dialogs;
  orvane::Win32Broadcast broadcast;
  orvane::Win32Processes processes;
  orvane::Win32SystemMessages messages;
  orvane::Platform platform{process, files, registry, dialogs, broadcast, processes, messages};
  process.exit_process(static_cast<std::uint32_t>(orvane::run_setup(platform)));
}
