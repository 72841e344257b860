#include "kit_boxes.h"

#include <algorithm>
#include <utility>

namespace kit {
namespace {

std::wstring window_text(HWND window) {
  // WM_GETTEXT through SendMessageTimeoutW: a hung box does not hang the test.
  std::wstring text(4096, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got)) {
    return L"";
  }
  text.resize(got);
  return text;
}

// The message text, read with a buffer grown until it fits.
std::wstring box_text(HWND box) {
  for (int size = 1024;; size *= 2) {
    std::wstring text(static_cast<size_t>(size), L'\0');
    const UINT got = GetDlgItemTextW(box, 0xFFFF, text.data(), size);
    if (static_cast<int>(got) < size - 1) {
      text.resize(got);
      return text;
    }
  }
}

struct Child {
  HWND window;
  int id;
  std::wstring class_name;
};

BOOL CALLBACK collect_child(HWND window, LPARAM param) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  reinterpret_cast<std::vector<Child>*>(param)->push_back({window, GetDlgCtrlID(window), name});
  return TRUE;
}

struct Found {
  const std::vector<DWORD>* pids;
  std::vector<HWND> windows;
};

BOOL CALLBACK collect_dialog(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (std::find(found->pids->begin(), found->pids->end(), pid) == found->pids->end()) return TRUE;
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) found->windows.push_back(window);
  return TRUE;
}

// The pixels of an area of a device context, as 32-bit RGB.
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

// The static control's pixels as the window paints them into a bitmap of ours (PrintWindow),
// which also works for a box that other windows cover.
std::vector<unsigned> printed_pixels(HWND window, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  std::vector<unsigned> out;
  if (PrintWindow(window, memory, 0)) out = pixels_of(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

// A standard icon drawn over a background colour at the control's size.
std::vector<unsigned> drawn_icon(LPCWSTR resource, unsigned background, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(
      RGB(background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF));
  RECT all{0, 0, width, height};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, LoadIconW(nullptr, resource), width, height, 0, nullptr, DI_NORMAL);
  std::vector<unsigned> out = pixels_of(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

struct Known {
  LPCWSTR resource;
  const char* name;
};
const Known known_icons[] = {{IDI_QUESTION, "question"},
                             {IDI_INFORMATION, "information"},
                             {IDI_ERROR, "error"},
                             {IDI_WARNING, "warning"}};

// The standard icon these pixels show: the one that matches best, at least 90 % of the pixels,
// and clearly better than the next best; nullptr when none does.
const char* matching_icon(const std::vector<unsigned>& shown, int width, int height) {
  if (shown.empty()) return nullptr;
  std::vector<std::pair<double, const char*>> scores;
  for (const Known& k : known_icons) {
    const std::vector<unsigned> expected = drawn_icon(k.resource, shown[0], width, height);
    size_t same = 0;
    for (size_t i = 0; i < shown.size(); ++i) same += shown[i] == expected[i];
    scores.emplace_back(static_cast<double>(same) / static_cast<double>(shown.size()), k.name);
  }
  std::sort(scores.rbegin(), scores.rend());
  if (scores[0].first >= 0.90 && scores[0].first - scores[1].first >= 0.05) return scores[0].second;
  return nullptr;
}

// Which standard icon the box shows. Windows shares the standard icons' handles between
// processes, so the control's icon handle names it; Wine does not, and there the control's
// pixels are compared with each standard icon drawn here, as the screen shows them or as the
// control paints them for us.
std::string icon_name(const std::vector<Child>& children) {
  for (const Child& child : children) {
    if (_wcsicmp(child.class_name.c_str(), L"Static") != 0 || !IsWindowVisible(child.window)) {
      continue;
    }
    if ((GetWindowLongPtrW(child.window, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    DWORD_PTR handle = 0;
    SendMessageTimeoutW(child.window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &handle);
    for (const Known& k : known_icons) {
      if (handle != 0 && reinterpret_cast<HICON>(handle) == LoadIconW(nullptr, k.resource)) {
        return k.name;
      }
    }
    RECT rect{};
    GetWindowRect(child.window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) continue;
    // The box may not be painted yet when it first shows: look again for a while.
    for (int attempt = 0; attempt < 40; ++attempt) {
      HDC screen = GetDC(nullptr);
      const std::vector<unsigned> on_screen = pixels_of(screen, rect.left, rect.top, width, height);
      ReleaseDC(nullptr, screen);
      if (const char* name = matching_icon(on_screen, width, height)) return name;
      if (const char* name = matching_icon(printed_pixels(child.window, width, height), width,
                                           height)) {
        return name;
      }
      Sleep(50);
    }
    return "other";
  }
  return "none";
}

}  // namespace

std::vector<HWND> dialog_windows_of(const std::vector<DWORD>& pids) {
  Found found{&pids, {}};
  EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

Box describe_box(HWND window) {
  Box box;
  box.window = window;
  box.caption = window_text(window);
  box.text = box_text(window);
  std::vector<Child> children;
  EnumChildWindows(window, collect_child, reinterpret_cast<LPARAM>(&children));
  for (const Child& child : children) {
    if (_wcsicmp(child.class_name.c_str(), L"Button") != 0 || !IsWindowVisible(child.window)) {
      continue;
    }
    box.buttons.push_back(child.id);
    box.button_texts.push_back(window_text(child.window));
    if ((GetWindowLongPtrW(child.window, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      box.default_button = child.id;
    }
  }
  box.icon = icon_name(children);
  GetWindowRect(window, &box.rect);
  return box;
}

bool wait_box_gone(HWND box, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

const char* answer_name(Answer answer) {
  switch (answer) {
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Ok: return "OK";
    case Answer::CloseThenNo: return "close, then No";
  }
  return "?";
}

std::string answer_box(HWND box, Answer answer) {
  if (answer == Answer::CloseThenNo) {
    PostMessageW(box, WM_CLOSE, 0, 0);
    if (wait_box_gone(box, 1000)) return "the box closed on WM_CLOSE, without an answer";
    answer = Answer::No;
  }
  const int id = answer == Answer::Yes ? IDYES : answer == Answer::No ? IDNO : IDOK;
  HWND button = GetDlgItem(box, id);
  if (button == nullptr || !IsWindowVisible(button)) {
    return std::string("the box has no ") + answer_name(answer) + " button";
  }
  // A click on the button. Windows documents that BM_CLICK may fail while the box is not the
  // active window; the notification a click sends its dialog then answers it all the same.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  if (wait_box_gone(box, 2000)) return "";
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return wait_box_gone(box, 10000) ? "" : "the box did not close after its button was pressed";
}

}  // namespace kit
