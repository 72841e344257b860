/* A DLL that says it was loaded: on attaching to a process it creates "<its own path>.loaded".
   The security cases plant copies of it beside the setup program under the names of system
   DLLs that are not KnownDLLs; a marker means the setup program took code from its folder. It
   exports nothing and needs no runtime. */
#include <windows.h>

BOOL WINAPI planted_dll_main(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}
