// Run once in each fresh prefix copy before the timed runs, so that every installer meets the same
// warm session: the Wine services are up and the desktop window exists, as on a logged-in Windows
// machine. Nothing it does is measured.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return GetDesktopWindow() != nullptr ? 0 : 1;
}
