// Writes the winget manifest set (version, installer, default locale; manifest version 1.6.0)
// for one built setup program. Every fact about the program comes from the program's own code:
// the identity from product/product_constants.h, the install switches from the `switches` table,
// and the Apps & Features entry from what write_uninstall_entry actually writes, recorded here
// through a registry that keeps the values in memory. Only what the program cannot know (the
// download address, the installer's hash, the licence and the package texts) is given here or on
// the command line.
//
//   orvane-winget-manifest --out DIR --installer-sha256 HEX --installer-url URL
//                          (each "{version}" in URL becomes the product version)
//                          [--release-date YYYY-MM-DD] [--license TEXT] [--license-url URL]
//                          [--publisher-url URL] [--short-description TEXT]

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/command_line.h"
#include "install/uninstall_entry.h"
#include "platform/registry.h"
#include "user_registry/registry_access.h"
#include "platform/wide_string.h"
#include "platform/win32_codes.h"
#include "product/carried_files.h"
#include "product/product_constants.h"
#include "product/product_identity.h"

namespace {

constexpr std::string_view manifest_version = "1.6.0";
constexpr std::string_view package_identifier = "Pellinor.OrvaneWorker";
constexpr std::string_view package_locale = "en-US";
constexpr std::string_view schema_base = "https://aka.ms/winget-manifest.";

// A registry that accepts every call and remembers the one key created and its values.
class RecordingRegistry final : public orvane::Registry {
 public:
  std::optional<std::string> created_key;
  std::map<std::string, std::string> strings;
  std::map<std::string, std::uint32_t> dwords;

  std::int32_t create_key(const orvane::WideString& subkey, std::uint32_t, orvane::KeyHandle* out) override {
    created_key = orvane::from_wide_lossy(subkey.view());
    *out = 1;
    return 0;
  }
  std::int32_t open_key(const orvane::WideString&, std::uint32_t, orvane::KeyHandle*) override {
    return static_cast<std::int32_t>(orvane::win32::error_file_not_found);
  }
  std::int32_t query_value(orvane::KeyHandle, const orvane::WideString&, std::uint32_t*, std::uint8_t*,
                           std::uint32_t*) override {
    return static_cast<std::int32_t>(orvane::win32::error_file_not_found);
  }
  std::int32_t set_value(orvane::KeyHandle, const orvane::WideString& name, std::uint32_t type,
                         const std::uint8_t* data, std::uint32_t size) override {
    const std::string key = orvane::from_wide_lossy(name.view());
    if (type == orvane::win32::reg_dword && size == 4) {
      dwords[key] = static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24);
    } else {
      std::u16string units;
      for (std::uint32_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
      while (!units.empty() && units.back() == u'\0') units.pop_back();
      strings[key] = orvane::from_wide_lossy(units);
    }
    return 0;
  }
  std::int32_t delete_tree(const orvane::WideString&) override { return 0; }
  std::int32_t close_key(orvane::KeyHandle) override { return 0; }
};

// A YAML scalar: plain when it cannot be read as anything but this string, else single-quoted.
std::string scalar(std::string_view text) {
  bool plain = !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
  for (char c : text) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!word && c != ' ' && c != '.' && c != '-' && c != '_' && c != '(' && c != ')') plain = false;
  }
  if (!text.empty() && text.back() == ' ') plain = false;
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  for (std::string_view special : {"true", "false", "yes", "no", "on", "off", "y", "n", "null"}) {
    if (lower == special) plain = false;
  }
  if (plain) return std::string(text);
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::string header(std::string_view type) {
  return "# Written by scripts/release (tools/winget_manifest.cpp) from the setup program's own data.\n"
         "# yaml-language-server: $schema=" + std::string(schema_base) + std::string(type) + "." +
         std::string(manifest_version) + ".schema.json\n\n";
}

std::string footer(std::string_view type) {
  return "ManifestType: " + std::string(type) + "\nManifestVersion: " + std::string(manifest_version) + "\n";
}

// The first switch of the table that sets `effect`.
std::string_view first_switch(orvane::SwitchEffect effect) {
  for (const orvane::Switch& s : orvane::switches) {
    if (s.sets == effect) return s.text;
  }
  return {};
}

struct Options {
  std::string out, sha256, url, release_date, license_url, publisher_url;
  std::string license = "Proprietary";
  std::string short_description = ORVANE_DISPLAY_NAME ", a command-line program, installed for the current user.";
};

bool write_file(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) std::cerr << "orvane-winget-manifest: cannot write " << path << "\n";
  return static_cast<bool>(file);
}

int usage() {
  std::cerr << "usage: orvane-winget-manifest --out DIR --installer-sha256 HEX --installer-url URL\n"
               "         [--release-date YYYY-MM-DD] [--license TEXT] [--license-url URL]\n"
               "         [--publisher-url URL] [--short-description TEXT]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::map<std::string_view, std::string*> flags{
      {"--out", &options.out},
      {"--installer-sha256", &options.sha256},
      {"--installer-url", &options.url},
      {"--release-date", &options.release_date},
      {"--license", &options.license},
      {"--license-url", &options.license_url},
      {"--publisher-url", &options.publisher_url},
      {"--short-description", &options.short_description},
  };
  for (int i = 1; i < argc; ++i) {
    const auto flag = flags.find(argv[i]);
    if (flag == flags.end() || i + 1 == argc) return usage();
    *flag->second = argv[++i];
  }
  if (options.out.empty() || options.url.empty() || options.sha256.size() != 64) return usage();
  for (std::size_t at; (at = options.url.find("{version}")) != std::string::npos;) {
    options.url.replace(at, 9, ORVANE_VERSION);
  }
  for (char& c : options.sha256) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return usage();
  }

  // What the installed program registers, as the program itself writes it.
  RecordingRegistry registry;
  orvane::write_uninstall_entry(registry, "C:\\Users\\Owner\\AppData\\Local\\Programs\\" ORVANE_DISPLAY_NAME,
                                u"C:\\Users\\Owner\\AppData\\Local\\Programs\\" ORVANE_DISPLAY_NAME "\\uninstall.exe");
  if (registry.created_key != orvane::uninstall_key_path() || registry.strings.count("DisplayName") == 0 ||
      registry.strings.count("Publisher") == 0 || registry.strings.count("DisplayVersion") == 0) {
    std::cerr << "orvane-winget-manifest: the uninstall entry did not come out as expected\n";
    return 1;
  }
  const std::string product_code = registry.created_key->substr(registry.created_key->rfind('\\') + 1);
  std::string command(orvane::carried_files()[0].name);
  if (command.size() > 4 && command.ends_with(".exe")) command.resize(command.size() - 4);

  const std::string id = std::string(package_identifier);
  const std::string identity = "PackageIdentifier: " + id + "\nPackageVersion: " + scalar(ORVANE_VERSION) + "\n";

  const std::string version_manifest = header("version") + identity + "DefaultLocale: " +
                                       std::string(package_locale) + "\n" + footer("version");

  const std::string silent = scalar(first_switch(orvane::SwitchEffect::Silent));
  std::string installer_manifest = header("installer") + identity +
      "InstallerType: exe\n"
      "Scope: user\n"
      "InstallModes:\n- interactive\n- silent\n"
      "InstallerSwitches:\n"
      "  Silent: " + silent + "\n"
      "  SilentWithProgress: " + silent + "\n"
      "UnsupportedArguments:\n- log\n- location\n"
      "UpgradeBehavior: install\n"
      "Commands:\n- " + scalar(command) + "\n"
      "ProductCode: " + scalar(product_code) + "\n";
  if (!options.release_date.empty()) installer_manifest += "ReleaseDate: " + scalar(options.release_date) + "\n";
  installer_manifest +=
      "AppsAndFeaturesEntries:\n"
      "- DisplayName: " + scalar(registry.strings["DisplayName"]) + "\n"
      "  Publisher: " + scalar(registry.strings["Publisher"]) + "\n"
      "  DisplayVersion: " + scalar(registry.strings["DisplayVersion"]) + "\n"
      "  ProductCode: " + scalar(product_code) + "\n"
      "Installers:\n"
      "- Architecture: x64\n"
      "  InstallerUrl: " + scalar(options.url) + "\n"
      "  InstallerSha256: " + options.sha256 + "\n" + footer("installer");

  std::string locale_manifest = header("defaultLocale") + identity +
      "PackageLocale: " + std::string(package_locale) + "\n"
      "Publisher: " + scalar(ORVANE_PUBLISHER) + "\n";
  if (!options.publisher_url.empty()) locale_manifest += "PublisherUrl: " + scalar(options.publisher_url) + "\n";
  locale_manifest += "PackageName: " + scalar(ORVANE_DISPLAY_NAME) + "\n"
      "License: " + scalar(options.license) + "\n";
  if (!options.license_url.empty()) locale_manifest += "LicenseUrl: " + scalar(options.license_url) + "\n";
  locale_manifest += "Copyright: " + scalar(ORVANE_COPYRIGHT) + "\n"
      "ShortDescription: " + scalar(options.short_description) + "\n"
      "Moniker: " + scalar(command) + "\n" + footer("defaultLocale");

  const std::string base = options.out + "/" + id;
  const bool ok = write_file(base + ".yaml", version_manifest) &&
                  write_file(base + ".installer.yaml", installer_manifest) &&
                  write_file(base + ".locale." + std::string(package_locale) + ".yaml", locale_manifest);
  return ok ? 0 : 1;
}
