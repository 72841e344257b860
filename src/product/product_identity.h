#pragma once
// The product's fixed identity, the install folder every path is derived from, and the key of
// its registration.

#include <optional>
#include <string>
#include <string_view>

#include "paths/paths.h"
#include "platform/process.h"
#include "platform/wide_string.h"
#include "product/product_constants.h"
#include "product/setup_error.h"

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
inline constexpr std::string_view programs_folder_name = "Programs";
inline constexpr std::string_view old_copy_suffix = ".old";

// The base of the install folder: LOCALAPPDATA when it holds an absolute path (the user's
// choice, taken as it is); otherwise, when it is unset, empty or relative ("rel", "C:", "C:rel",
// or "\rel", which names a folder on the current drive), the user's Local AppData folder as
// Windows records it, if that is absolute. A relative base would put the product in whatever
// folder the setup program was started from, and its Path entry would follow every program's
// current folder. Nullopt when neither names a folder.
std::optional<PlatformPath> local_app_data_folder(Process& process);

// base\Programs\Orvane Worker, or nullopt when the base is unknown. One run asks once and hands
// the answer to the location test, the install question and the procedure.
std::optional<PlatformPath> install_folder(Process& process);

// What an install ends with when there is no install folder.
SetupError unknown_install_folder_error();

// The install folder and what derives from it.
struct InstallLayout {
  PlatformPath folder;

  std::string text() const { return folder_text(folder); }
  PlatformPath payload_path() const { return join_path(folder, product.payload_file_name); }
  PlatformPath old_payload_path() const;
  PlatformPath uninstaller_path() const { return join_path(folder, product.uninstaller_file_name); }
};

// The product's entry in the user's list of installed programs, under HKEY_CURRENT_USER:
// Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneWorker
std::string uninstall_key_path();

}  // namespace orvane
