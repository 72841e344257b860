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
#include "kit_boxes.h"

namespace {

const wchar_t box_class[] = L"#32770";
const wchar_t box_caption[] = L"Orvane Worker setup";

// The box as one line of JSON, from what the Windows test programs read of a box.
std::string describe(HWND window) {
  const kit::Box box = kit::describe_box(window);
  std::string line = "{\"caption\":" + json_string(box.caption);
  line += ",\"text\":" + json_string(box.text);
  line += ",\"buttons\":[";
  for (size_t k = 0; k < box.buttons.size(); ++k) {
    if (k > 0) line += ",";
    line += "{\"id\":" + std::to_string(box.buttons[k]) +
            ",\"text\":" + json_string(box.button_texts[k]) + "}";
  }
  line += "],\"icon\":\"" + box.icon + "\"";
  line += ",\"rect\":[" + std::to_string(box.rect.left) + "," + std::to_string(box.rect.top) + "," +
          std::to_string(box.rect.right) + "," + std::to_string(box.rect.bottom) + "]}";
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
    if (!kit::wait_box_gone(box, timeout_ms)) {
      std::fclose(out);
      return 4;
    }
    previous = box;
  }
  std::fclose(out);
  return 0;
}
