#include "product/setup_dialogs.h"

#include "platform/win32_codes.h"
#include "product/product_identity.h"

namespace orvane {

const char* const next_steps_text =
    "Open a new terminal (PowerShell or Command Prompt) and run:\r\n\r\n"
    "  orvane-worker --help\r\n\r\n"
    "To start its web page: orvane-worker --serve";

std::string setup_caption() { return std::string(product.display_name) + " setup"; }

std::string install_question(const PlatformPath& folder) {
  return "Install " + std::string(product.display_name) + " " + std::string(product.version) +
         " for your user account?\r\n\r\nPublisher: " + std::string(product.publisher) +
         "\r\nLocation: " + folder_text(folder) + "\r\n\r\nNo administrator rights are needed.";
}

std::string installed_message(const std::string& folder_text) {
  return std::string(product.display_name) + " " + std::string(product.version) +
         " is installed in:\r\n" + folder_text + "\r\n\r\n" + next_steps_text;
}

std::string failure_message(const SetupError& error) {
  return "Setup could not finish.\r\n\r\n" + error.message;
}

std::string removal_question() {
  return "Remove " + std::string(product.display_name) +
         " from this computer?\r\n\r\nYour settings and keys (in your user folder) are kept.";
}

std::string removed_message() { return std::string(product.display_name) + " was removed."; }

int show_message(Dialogs& dialogs, const std::string& text, DialogStyle style) {
  const WideString wide_text = to_wide(text);
  const WideString wide_caption = to_wide(setup_caption());
  return dialogs.message_box(wide_text, wide_caption, static_cast<std::uint32_t>(style));
}

bool ask_install(Dialogs& dialogs, const PlatformPath& folder) {
  return show_message(dialogs, install_question(folder), DialogStyle::Question) == win32::idyes;
}

void tell_installed(Dialogs& dialogs, const std::string& folder_text) {
  show_message(dialogs, installed_message(folder_text), DialogStyle::Information);
}

void tell_failure(Dialogs& dialogs, const SetupError& error) {
  show_message(dialogs, failure_message(error), DialogStyle::Error);
}

bool ask_removal(Dialogs& dialogs) {
  return show_message(dialogs, removal_question(), DialogStyle::Question) == win32::idyes;
}

void tell_removed(Dialogs& dialogs) {
  show_message(dialogs, removed_message(), DialogStyle::Information);
}

}  // namespace orvane
