#pragma once
// The five message boxes: their pure texts, and the calls that show them.

#include <string>

#include "platform/dialogs.h"
#include "platform/wide_string.h"
#include "product/setup_error.h"

namespace orvane {

enum class DialogStyle : std::uint32_t {
  Question = 0x24,     // MB_YESNO | MB_ICONQUESTION
  Information = 0x40,  // MB_OK | MB_ICONINFORMATION
  Error = 0x10,        // MB_OK | MB_ICONERROR
};

std::string setup_caption();
extern const char* const next_steps_text;

std::string install_question(const PlatformPath& folder);
std::string installed_message(const std::string& folder_text);
std::string failure_message(const SetupError& error);
std::string removal_question();
std::string removed_message();

// MessageBoxW with no owner and the setup caption; returns the answer unchanged.
int show_message(Dialogs& dialogs, const std::string& text, DialogStyle style);

// Questions are true only for IDYES; every other answer (No, a box that failed) is false.
bool ask_install(Dialogs& dialogs, const PlatformPath& folder);
void tell_installed(Dialogs& dialogs, const std::string& folder_text);
void tell_failure(Dialogs& dialogs, const SetupError& error);
bool ask_removal(Dialogs& dialogs);
void tell_removed(Dialogs& dialogs);

}  // namespace orvane
