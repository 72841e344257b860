#pragma once
// The product's fixed identity, the install folder every path is derived from, and the key of
// its registration.

#include <string>
#include <string_view>

#include "paths/paths.h"
#include "platform/process.h"
#include "platform/wide_string.h"
#include "product/product_constants.h"

namespace orvane {

struct ProductIdentity {
  std::string_view display_name;
  std::string_view version;
  std::string_view publisher;
  std::string_view registry_key_name;
  std::string_view payload_file_name;
  std::string_view uninstaller_file_name;
};

inline constexpr ProductIdentity product{
    ORVANE_DISPLAY_NAME,      ORVANE_VERSION,           ORVANE_PUBLISHER,
    ORVANE_REGISTRY_KEY_NAME, ORVANE_PAYLOAD_FILE_NAME, ORVANE_UNINSTALLER_FILE_NAME,
};

inline constexpr std::string_view local_app_data_variable = "LOCALAPPDATA";
inline constexpr std::string_view fallback_local_app_data = "C:\\Users\\Public\\AppData\\Local";
inline constexpr std::string_view programs_folder_name = "Programs";
inline constexpr std::string_view old_copy_suffix = ".old";

// %LOCALAPPDATA%\Programs\Orvane Worker, with the fallback base when the variable is not set.
PlatformPath install_folder(Process& process);

// The install folder and what derives from it.
struct InstallLayout {
  PlatformPath folder;

  static InstallLayout from(Process& process) { return InstallLayout{install_folder(process)}; }
  std::string text() const { return folder_text(folder); }
  PlatformPath payload_path() const { return join_path(folder, product.payload_file_name); }
  PlatformPath old_payload_path() const;
  PlatformPath uninstaller_path() const { return join_path(folder, product.uninstaller_file_name); }
};

// The product's entry in the user's list of installed programs, under HKEY_CURRENT_USER:
// Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneWorker
std::string uninstall_key_path();

}  // namespace orvane
