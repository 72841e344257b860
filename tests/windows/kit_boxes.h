#pragma once
// The setup program's message boxes, found among the windows of the processes in its job and
// answered the way a user answers them: by pressing their buttons.

#include <windows.h>

#include <string>
#include <vector>

namespace kit {

struct Box {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;         // the message, GetDlgItemTextW(box, 0xFFFF)
  std::vector<int> buttons;  // ids of the visible buttons, in window order
  std::vector<std::wstring> button_texts;
  int default_button = 0;    // the button drawn as the default (BS_DEFPUSHBUTTON); 0: none
  std::string icon;          // "question", "information", "error", "warning", "other", "none"
  RECT rect{};
};

// The visible top-level dialog windows of these processes.
std::vector<HWND> dialog_windows_of(const std::vector<DWORD>& pids);
Box describe_box(HWND box);

enum class Answer {
  Yes,    // press the button with id IDYES
  No,     // IDNO
  Ok,     // IDOK
  // WM_CLOSE, which a box without a Cancel button leaves unanswered on Windows (its close button
  // is disabled, Escape does nothing), then No.
  CloseThenNo,
};
// Gives the answer and waits (bounded) until the box has gone; "" or what went wrong.
std::string answer_box(HWND box, Answer answer);
bool wait_box_gone(HWND box, DWORD timeout_ms);
const char* answer_name(Answer answer);

}  // namespace kit
