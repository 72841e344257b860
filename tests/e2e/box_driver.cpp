// Drives the setup program's message boxes from a second process in the same Wine prefix, the way
// a user would: waits for each box, records what it shows, then presses the requested button.
//
//   box_driver.exe --out <file> [--signal-dir <dir>] [--timeout-ms <n>] <step>...
//
// A step is "yes", "no" or "ok" (press button 6, 7 or 1 with BM_CLICK), "close" (WM_CLOSE, the
// title-bar cross) or "peek" (record the box, press nothing; for diagnosing a hung run). Each box
// found is written to the output file as one line of JSON (UTF-8, non-ASCII as \u escapes, so the
// reader gets the exact UTF-16 units):
//   {"caption":..., "text":..., "buttons":[{"id":6,"text":"&Yes"},...], "icon":"question",
//    "rect":[left,top,right,bottom]}
// With --signal-dir, after recording box N the driver creates <dir>\box<N>.ready and waits for
// <dir>\box<N>.go before pressing, so that the harness can take a screenshot of the box first.
//
// Exit status: 0 every step done; 2 a box did not appear in time; 3 the requested button is
// missing; 4 the box did not close after the press; 5 the go signal did not come; 64 bad usage.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "json_text.h"

namespace {

const wchar_t box_class[] = L"#32770";
const wchar_t box_caption[] = L"Orvane Worker setup";

std::wstring window_text(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

// GetDlgItemTextW(box, 0xFFFF): the message text, read with a buffer grown until it fits.
std::wstring box_text(HWND box) {
  for (int size = 1024;; size *= 2) {
    std::wstring text(static_cast<size_t>(size), L'\0');
    UINT got = GetDlgItemTextW(box, 0xFFFF, text.data(), size);
    if (static_cast<int>(got) < size - 1) {
      text.resize(got);
      return text;
    }
  }
}

struct Child {
  int id;
  std::wstring class_name;
  std::wstring text;
  HWND window;
};

BOOL CALLBACK collect_child(HWND window, LPARAM param) {
  auto* children = reinterpret_cast<std::vector<Child>*>(param);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  children->push_back({GetDlgCtrlID(window), name, window_text(window), window});
  return TRUE;
}

std::vector<Child> children_of(HWND box) {
  std::vector<Child> children;
  EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&children));
  return children;
}

// The pixels of a width x height area, as 32-bit BGRX, read from a device context.
std::vector<unsigned> pixels_of(HDC source, int x, int y, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
  GdiFlush();
  const auto* data = static_cast<const unsigned*>(bits);
  std::vector<unsigned> out(data, data + static_cast<size_t>(width) * static_cast<size_t>(height));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  for (unsigned& pixel : out) pixel &= 0xFFFFFF;
  return out;
}

// A standard icon drawn over a background colour, the way the box's Static control draws it.
std::vector<unsigned> drawn_icon(LPCWSTR resource, unsigned background, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(RGB(background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF));
  RECT all{0, 0, width, height};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, LoadIconW(nullptr, resource), 0, 0, 0, nullptr, DI_NORMAL);
  std::vector<unsigned> out = pixels_of(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

// Which standard icon the box shows. Icon handles do not cross process boundaries under Wine,
// so the Static icon child's pixels on the screen are compared with each standard icon drawn
// here; a box without a visible icon child gives "none".
std::string icon_name(const std::vector<Child>& children) {
  struct Known {
    LPCWSTR resource;
    const char* name;
  };
  const Known known[] = {{IDI_QUESTION, "question"},
                         {IDI_INFORMATION, "information"},
                         {IDI_ERROR, "error"},
                         {IDI_WARNING, "warning"}};
  for (const Child& child : children) {
    if (_wcsicmp(child.class_name.c_str(), L"Static") != 0 || !IsWindowVisible(child.window)) {
      continue;
    }
    if ((GetWindowLongPtrW(child.window, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    RECT rect{};
    GetWindowRect(child.window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) continue;
    // The box may not be painted yet when it first shows: look again for a while.
    for (int attempt = 0; attempt < 40; ++attempt) {
      HDC screen = GetDC(nullptr);
      std::vector<unsigned> shown = pixels_of(screen, rect.left, rect.top, width, height);
      ReleaseDC(nullptr, screen);
      for (const Known& k : known) {
        std::vector<unsigned> expected = drawn_icon(k.resource, shown[0], width, height);
        size_t same = 0;
        for (size_t i = 0; i < shown.size(); ++i) same += shown[i] == expected[i];
        if (same * 100 >= shown.size() * 98) return k.name;
      }
      Sleep(50);
    }
    return "other";
  }
  return "none";
}

std::string describe(HWND box) {
  std::vector<Child> children = children_of(box);
  std::string line = "{\"caption\":" + json_string(window_text(box));
  line += ",\"text\":" + json_string(box_text(box));
  line += ",\"buttons\":[";
  bool first = true;
  for (const Child& child : children) {
    if (_wcsicmp(child.class_name.c_str(), L"Button") != 0 || !IsWindowVisible(child.window)) {
      continue;
    }
    if (!first) line += ",";
    first = false;
    line += "{\"id\":" + std::to_string(child.id) + ",\"text\":" + json_string(child.text) + "}";
  }
  line += "],\"icon\":\"" + icon_name(children) + "\"";
  RECT rect{};
  GetWindowRect(box, &rect);
  line += ",\"rect\":[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
          std::to_string(rect.right) + "," + std::to_string(rect.bottom) + "]}";
  return line;
}

bool file_exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void touch(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// A visible box with the setup caption that is not `previous` (or `previous` is gone).
HWND wait_for_box(HWND previous, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND box = FindWindowW(box_class, box_caption);
    if (box != nullptr && IsWindowVisible(box) && (box != previous || !IsWindow(previous))) {
      Sleep(50);  // let the dialog finish its WM_INITDIALOG work before reading it
      if (IsWindow(box)) return box;
    }
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(20);
  }
}

bool wait_until_gone(HWND box, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring out_path;
  std::wstring signal_dir;
  DWORD timeout_ms = 30000;
  std::vector<std::wstring> steps;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--out" && i + 1 < argc) {
      out_path = argv[++i];
    } else if (arg == L"--signal-dir" && i + 1 < argc) {
      signal_dir = argv[++i];
    } else if (arg == L"--timeout-ms" && i + 1 < argc) {
      timeout_ms = static_cast<DWORD>(_wtoi(argv[++i]));
    } else {
      steps.push_back(arg);
    }
  }
  if (out_path.empty() || steps.empty()) {
    std::fprintf(stderr, "usage: box_driver --out FILE [--signal-dir DIR] [--timeout-ms N] STEP...\n");
    return 64;
  }
  FILE* out = _wfopen(out_path.c_str(), L"wb");
  if (out == nullptr) return 64;

  HWND previous = nullptr;
  for (size_t n = 0; n < steps.size(); ++n) {
    const std::wstring& step = steps[n];
    HWND box = wait_for_box(previous, timeout_ms);
    if (box == nullptr) {
      std::fclose(out);
      return 2;
    }
    std::string line = describe(box) + "\n";
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);

    if (!signal_dir.empty()) {
      std::wstring base = signal_dir + L"\\box" + std::to_wstring(n + 1);
      touch(base + L".ready");
      DWORD start = GetTickCount();
      while (!file_exists(base + L".go")) {
        if (GetTickCount() - start > timeout_ms) {
          std::fclose(out);
          return 5;
        }
        Sleep(20);
      }
    }

    if (step == L"peek") {
      previous = box;
      continue;
    }
    if (step == L"close") {
      PostMessageW(box, WM_CLOSE, 0, 0);
    } else {
      int id = step == L"yes" ? IDYES : step == L"no" ? IDNO : step == L"ok" ? IDOK : 0;
      HWND button = id != 0 ? GetDlgItem(box, id) : nullptr;
      if (button == nullptr) {
        std::fclose(out);
        return 3;
      }
      SendMessageW(button, BM_CLICK, 0, 0);
    }
    if (!wait_until_gone(box, timeout_ms)) {
      std::fclose(out);
      return 4;
    }
    previous = box;
  }
  std::fclose(out);
  return 0;
}
