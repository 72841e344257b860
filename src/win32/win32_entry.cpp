// The setup program's entry: the process starts here, limits where DLLs may come from, runs the
// language runtime's start-up, and then hands the Win32 realisation of every platform interface
// to the logic as one Platform, ending the process with the status the logic returns.

#include <windows.h>

#include <cstdint>

#include "entry/run_setup.h"
#include "platform/platform.h"
#include "win32/win32_dialogs.h"
#include "win32/win32_files.h"
#include "win32/win32_process.h"
#include "win32/win32_processes.h"
#include "win32/win32_registry.h"
#include "win32/win32_system_messages.h"

// mingw-w64's start-up for GUI programs (crt2u.o with -municode, where it calls wWinMain): it
// initialises the runtime, reads the command line and calls wWinMain.
extern "C" int WinMainCRTStartup();

// The image's entry point (linked with --entry, see cmake/windows.cmake). People run a setup
// program from their download folder, where any page can leave a DLL named like a system one; by
// default Windows looks for DLLs in the program's own folder first. From here on, every DLL the
// process loads, and every DLL those load, comes from the system folder only. This is the
// program's first call, before the runtime reads the command line and long before the first
// registry call, message box (the first that draws one loads the theme DLLs) or broadcast. The
// program's own imports are resolved before any code runs: DependentLoadFlags in its load
// configuration (win32_load_config.cpp) holds them to the system folder, and all of them are
// KnownDLLs, which Windows never takes from anywhere else.
extern "C" int orvane_process_start() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return WinMainCRTStartup();
}

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
